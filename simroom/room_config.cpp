#include "room_config.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace simroom {

std::vector<FilterSpec> RoomConfig::DefaultFilters() {
  return {
      {FilterKind::kHighpass, 45.0, 0.707, 0.0},
      {FilterKind::kLowpass, 14000.0, 0.707, 0.0},
      {FilterKind::kPeaking, 110.0, 2.0, 5.0},
      {FilterKind::kPeaking, 2800.0, 1.2, -3.0},
  };
}

namespace {

const char* Id(snd_config_t* node) {
  const char* id = nullptr;
  if (snd_config_get_id(node, &id) < 0 || id == nullptr) {
    return "?";
  }
  return id;
}

int GetInteger(snd_config_t* node, std::int64_t low, std::int64_t high, std::int64_t& out) {
  long long value = 0;
  if (snd_config_get_type(node) == SND_CONFIG_TYPE_INTEGER) {
    long v = 0;
    snd_config_get_integer(node, &v);
    value = v;
  } else if (snd_config_get_type(node) == SND_CONFIG_TYPE_INTEGER64) {
    snd_config_get_integer64(node, &value);
  } else {
    SNDERR("simroom: %s must be an integer", Id(node));
    return -EINVAL;
  }
  if (value < low || value > high) {
    SNDERR("simroom: %s must be from %lld to %lld", Id(node), static_cast<long long>(low),
           static_cast<long long>(high));
    return -EINVAL;
  }
  out = value;
  return 0;
}

int GetUnsigned(snd_config_t* node, std::int64_t low, std::int64_t high, unsigned& out) {
  std::int64_t value = 0;
  const int err = GetInteger(node, low, high, value);
  if (err == 0) {
    out = static_cast<unsigned>(value);
  }
  return err;
}

int GetReal(snd_config_t* node, double& out) {
  double value = 0.0;
  if (snd_config_get_ireal(node, &value) < 0 || !std::isfinite(value)) {
    SNDERR("simroom: %s must be a number", Id(node));
    return -EINVAL;
  }
  out = value;
  return 0;
}

int GetString(snd_config_t* node, std::string& out) {
  const char* value = nullptr;
  if (snd_config_get_string(node, &value) < 0 || value == nullptr) {
    SNDERR("simroom: %s must be a string", Id(node));
    return -EINVAL;
  }
  out = value;
  return 0;
}

int GetStreams(snd_config_t* node, bool allowBoth, StreamSet& out) {
  std::string value;
  if (const int err = GetString(node, value); err < 0) {
    return err;
  }
  if (value == "playback") {
    out = {true, false};
  } else if (value == "capture") {
    out = {false, true};
  } else if (value == "both" && allowBoth) {
    out = {true, true};
  } else {
    SNDERR("simroom: %s must be \"playback\", \"capture\"%s", Id(node),
           allowBoth ? " or \"both\"" : "");
    return -EINVAL;
  }
  return 0;
}

int ParseFilter(snd_config_t* node, double rate, FilterSpec& filter) {
  if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND) {
    SNDERR("simroom: filter %s must be a compound { type ... freq ... q ... }", Id(node));
    return -EINVAL;
  }
  bool haveType = false;
  bool haveGain = false;
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, node) {
    snd_config_t* item = snd_config_iterator_entry(i);
    const std::string key = Id(item);
    int err = 0;
    if (key == "type") {
      std::string type;
      err = GetString(item, type);
      if (err == 0) {
        haveType = true;
        if (type == "lowpass") {
          filter.kind = FilterKind::kLowpass;
        } else if (type == "highpass") {
          filter.kind = FilterKind::kHighpass;
        } else if (type == "peaking") {
          filter.kind = FilterKind::kPeaking;
        } else if (type == "notch") {
          filter.kind = FilterKind::kNotch;
        } else {
          SNDERR("simroom: filter %s: unknown type \"%s\" (lowpass, highpass, peaking, notch)",
                 Id(node), type.c_str());
          err = -EINVAL;
        }
      }
    } else if (key == "freq") {
      err = GetReal(item, filter.freq);
    } else if (key == "q") {
      err = GetReal(item, filter.q);
    } else if (key == "gain_db") {
      err = GetReal(item, filter.gainDb);
      haveGain = true;
    } else if (key != "comment") {
      SNDERR("simroom: filter %s: unknown key %s", Id(node), key.c_str());
      err = -EINVAL;
    }
    if (err < 0) {
      return err;
    }
  }
  if (!haveType) {
    SNDERR("simroom: filter %s has no type", Id(node));
    return -EINVAL;
  }
  if (haveGain && filter.kind != FilterKind::kPeaking) {
    SNDERR("simroom: filter %s: gain_db is only for peaking filters", Id(node));
    return -EINVAL;
  }
  if (!(filter.freq > 0.0 && filter.freq < rate / 2.0)) {
    SNDERR("simroom: filter %s: freq must lie between 0 and half the rate (%g Hz)", Id(node),
           rate / 2.0);
    return -EINVAL;
  }
  if (!(filter.q > 0.0)) {
    SNDERR("simroom: filter %s: q must be above 0", Id(node));
    return -EINVAL;
  }
  return 0;
}

}  // namespace

int ParseRoomConfig(snd_config_t* conf, RoomConfig& config) {
  snd_config_t* filters = nullptr;
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, conf) {
    snd_config_t* node = snd_config_iterator_entry(i);
    const std::string key = Id(node);
    int err = 0;
    if (key == "comment" || key == "type" || key == "hint") {
      continue;
    }
    if (key == "clock") {
      std::string clock;
      err = GetString(node, clock);
      if (err == 0 && clock == "fast") {
        config.clock = ClockKind::kFast;
      } else if (err == 0 && (clock == "realtime" || clock == "real-time")) {
        config.clock = ClockKind::kRealtime;
      } else if (err == 0) {
        SNDERR("simroom: clock must be \"fast\" or \"realtime\", not \"%s\"", clock.c_str());
        err = -EINVAL;
      }
    } else if (key == "loop_delay") {
      err = GetInteger(node, 0, kMaxDelayFrames, config.loopDelay);
    } else if (key == "acoustic_delay") {
      err = GetInteger(node, 0, kMaxDelayFrames, config.acousticDelay);
    } else if (key == "gain_db") {
      err = GetReal(node, config.gainDb);
    } else if (key == "noise_db") {
      err = GetReal(node, config.noiseDb);
    } else if (key == "seed") {
      std::int64_t seed = 0;
      err = GetInteger(node, 0, INT64_MAX, seed);
      config.seed = static_cast<std::uint64_t>(seed);
    } else if (key == "cable") {
      const int cable = snd_config_get_bool(node);
      if (cable < 0) {
        SNDERR("simroom: cable must be true or false");
        err = -EINVAL;
      } else {
        config.cable = cable != 0;
      }
    } else if (key == "filters") {
      if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND) {
        SNDERR("simroom: filters must be a compound { 0 { ... } 1 { ... } }");
        err = -EINVAL;
      }
      filters = node;  // read once the rate is known
    } else if (key == "refuse_format") {
      err = GetStreams(node, true, config.refuseFormat);
    } else if (key == "fail_open") {
      err = GetStreams(node, true, config.failOpen);
    } else if (key == "fail_hw_params") {
      err = GetStreams(node, true, config.failHwParams);
    } else if (key == "period_frames") {
      err = GetUnsigned(node, 16, 65536, config.periodFrames);
    } else if (key == "rate") {
      err = GetUnsigned(node, 8000, 384000, config.rate);
    } else if (key == "channels") {
      err = GetUnsigned(node, 1, 2, config.channels);
    } else if (key == "xrun_playback_period") {
      err = GetInteger(node, 0, INT64_MAX / 65536, config.xrunPlaybackPeriod);
    } else if (key == "xrun_capture_period") {
      err = GetInteger(node, 0, INT64_MAX / 65536, config.xrunCapturePeriod);
    } else if (key == "gone_after_period") {
      err = GetInteger(node, 0, INT64_MAX / 65536, config.goneAfterPeriod);
    } else {
      SNDERR("simroom: unknown key %s", key.c_str());
      err = -EINVAL;
    }
    if (err < 0) {
      return err;
    }
  }
  if (config.loopDelay + config.acousticDelay > kMaxDelayFrames) {
    SNDERR("simroom: loop_delay plus acoustic_delay must not exceed %lld frames",
           static_cast<long long>(kMaxDelayFrames));
    return -EINVAL;
  }
  if (filters == nullptr) {
    // At a low rate the default room keeps only the filters that fit below half the rate.
    std::erase_if(config.filters, [&](const FilterSpec& f) { return f.freq >= config.rate / 2.0; });
  } else {
    config.filters.clear();
    snd_config_for_each(i, next, filters) {
      FilterSpec filter;
      const int err = ParseFilter(snd_config_iterator_entry(i), config.rate, filter);
      if (err < 0) {
        return err;
      }
      config.filters.push_back(filter);
    }
  }
  return 0;
}

}  // namespace simroom
