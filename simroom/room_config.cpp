#include "room_config.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ir_file.h"

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

template <typename Number>
int GetInteger(snd_config_t* node, std::int64_t low, std::int64_t high, Number& out) {
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
  out = static_cast<Number>(value);
  return 0;
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

// A number from low to high; `what` names the compound it belongs to.
int GetRealIn(const char* what, snd_config_t* node, double low, double high, double& out) {
  double value = 0.0;
  if (snd_config_get_ireal(node, &value) < 0 || !std::isfinite(value)) {
    SNDERR("simroom: %s: %s must be a number", what, Id(node));
    return -EINVAL;
  }
  if (value < low || value > high) {
    SNDERR("simroom: %s: %s must be from %g to %g", what, Id(node), low, high);
    return -EINVAL;
  }
  out = value;
  return 0;
}

bool IsCompound(snd_config_t* node, const char* example) {
  if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND) {
    SNDERR("simroom: %s must be a compound %s", Id(node), example);
    return false;
  }
  return true;
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

int GetStreams(snd_config_t* node, StreamSet& out) {
  std::string value;
  if (const int err = GetString(node, value); err < 0) {
    return err;
  }
  if (value == "playback") {
    out = {true, false};
  } else if (value == "capture") {
    out = {false, true};
  } else if (value == "both") {
    out = {true, true};
  } else {
    SNDERR("simroom: %s must be \"playback\", \"capture\" or \"both\"", Id(node));
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
          filter.shape = FilterKind::kLowpass;
        } else if (type == "highpass") {
          filter.shape = FilterKind::kHighpass;
        } else if (type == "peaking") {
          filter.shape = FilterKind::kPeaking;
        } else if (type == "notch") {
          filter.shape = FilterKind::kNotch;
        } else {
          SNDERR("simroom: filter %s: unknown type \"%s\" (lowpass, highpass, peaking, notch)",
                 Id(node), type.c_str());
          err = -EINVAL;
        }
      }
    } else if (key == "freq") {
      err = GetReal(item, filter.hz);
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
  if (haveGain && filter.shape != FilterKind::kPeaking) {
    SNDERR("simroom: filter %s: gain_db is only for peaking filters", Id(node));
    return -EINVAL;
  }
  if (!(filter.hz > 0.0 && filter.hz < rate / 2.0)) {
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

int GetBool(snd_config_t* node, bool& out) {
  const int value = snd_config_get_bool(node);
  if (value < 0) {
    SNDERR("simroom: %s must be true or false", Id(node));
    return -EINVAL;
  }
  out = value != 0;
  return 0;
}

int GetClock(snd_config_t* node, ClockKind& out) {
  std::string clock;
  if (const int err = GetString(node, clock); err < 0) {
    return err;
  }
  if (clock == "fast") {
    out = ClockKind::kFast;
  } else if (clock == "realtime" || clock == "real-time") {
    out = ClockKind::kRealtime;
  } else {
    SNDERR("simroom: clock must be \"fast\" or \"realtime\", not \"%s\"", clock.c_str());
    return -EINVAL;
  }
  return 0;
}

// The keys read so far and the filter lists, which are read once the rate is known.
struct ParseState {
  RoomConfig& config;
  snd_config_t* filters = nullptr;
  snd_config_t* correction = nullptr;
  bool haveSlipAt = false;
};

int ParseNonlinear(snd_config_t* node, ParseState& state) {
  if (!IsCompound(node, "{ a2 ... a3 ... }")) {
    return -EINVAL;
  }
  NonlinearSpec wanted;
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, node) {
    snd_config_t* item = snd_config_iterator_entry(i);
    const std::string_view key = Id(item);
    int err = 0;
    if (key == "a2") {
      err = GetRealIn("nonlinear", item, -1.0, 1.0, wanted.a2);
    } else if (key == "a3") {
      err = GetRealIn("nonlinear", item, -1.0, 1.0, wanted.a3);
    } else if (key != "comment") {
      SNDERR("simroom: nonlinear: unknown key %s (a2, a3)", Id(item));
      err = -EINVAL;
    }
    if (err < 0) {
      return err;
    }
  }
  state.config.nonlinear = wanted;
  return 0;
}

// One reverberation time, or a list of up to one per octave band.
int GetRt60(snd_config_t* node, std::vector<double>& out) {
  out.clear();
  const auto take = [&out](snd_config_t* item) {
    double value = 0.0;
    if (snd_config_get_ireal(item, &value) < 0 || !std::isfinite(value)) {
      SNDERR("simroom: reverb: rt60 takes numbers (seconds)");
      return -EINVAL;
    }
    if (value < kMinRt60 || value > kMaxRt60) {
      SNDERR("simroom: reverb: rt60 values must be from %g to %g s, not %g", kMinRt60, kMaxRt60,
             value);
      return -EINVAL;
    }
    out.push_back(value);
    return 0;
  };
  if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND) {
    return take(node);
  }
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, node) {
    if (out.size() == kReverbBands) {
      SNDERR("simroom: reverb: rt60 takes at most %d values, 63 Hz to 8 kHz", kReverbBands);
      return -EINVAL;
    }
    if (const int err = take(snd_config_iterator_entry(i)); err < 0) {
      return err;
    }
  }
  if (out.empty()) {
    SNDERR("simroom: reverb: rt60 needs at least one value");
    return -EINVAL;
  }
  return 0;
}

int ParseReverb(snd_config_t* node, ParseState& state) {
  if (!IsCompound(node, "{ rt60 [ ... ] level_db ... }")) {
    return -EINVAL;
  }
  ReverbSpec wanted;
  bool haveRt60 = false;
  bool haveLevel = false;
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, node) {
    snd_config_t* item = snd_config_iterator_entry(i);
    const std::string_view key = Id(item);
    int err = 0;
    if (key == "rt60") {
      haveRt60 = true;
      err = GetRt60(item, wanted.rt60);
    } else if (key == "level_db") {
      haveLevel = true;
      err = GetRealIn("reverb", item, -80.0, 20.0, wanted.levelDb);
    } else if (key == "seed") {
      err = GetInteger(item, 0, INT64_MAX, wanted.seed);
    } else if (key != "comment") {
      SNDERR("simroom: reverb: unknown key %s (rt60, level_db, seed)", Id(item));
      err = -EINVAL;
    }
    if (err < 0) {
      return err;
    }
  }
  if (!haveRt60 || !haveLevel) {
    SNDERR("simroom: reverb needs rt60 and level_db");
    return -EINVAL;
  }
  state.config.reverb = wanted;
  return 0;
}

int ParseCalibrator(snd_config_t* node, ParseState& state) {
  if (!IsCompound(node, "{ hz ... level_dbfs ... }")) {
    return -EINVAL;
  }
  CalibratorSpec wanted;
  bool haveHz = false;
  bool haveLevel = false;
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, node) {
    snd_config_t* item = snd_config_iterator_entry(i);
    const std::string_view key = Id(item);
    int err = 0;
    if (key == "hz") {
      haveHz = true;
      err = GetRealIn("calibrator", item, 1.0, 192000.0, wanted.hz);
    } else if (key == "level_dbfs") {
      haveLevel = true;
      err = GetRealIn("calibrator", item, -120.0, 0.0, wanted.levelDbfs);
    } else if (key != "comment") {
      SNDERR("simroom: calibrator: unknown key %s (hz, level_dbfs)", Id(item));
      err = -EINVAL;
    }
    if (err < 0) {
      return err;
    }
  }
  if (!haveHz || !haveLevel) {
    SNDERR("simroom: calibrator needs hz and level_dbfs");
    return -EINVAL;
  }
  state.config.calibrator = wanted;
  return 0;
}

int ParseIr(snd_config_t* node, ParseState& state) {
  if (const int err = GetString(node, state.config.irPath); err < 0) {
    return err;
  }
  if (state.config.irPath.empty()) {
    SNDERR("simroom: ir must name a sound file");
    return -EINVAL;
  }
  return 0;
}

using KeyParser = int (*)(snd_config_t* node, ParseState& state);

template <auto Member, std::int64_t Low, std::int64_t High>
int IntegerKey(snd_config_t* node, ParseState& state) {
  return GetInteger(node, Low, High, state.config.*Member);
}

template <auto Member>
int RealKey(snd_config_t* node, ParseState& state) {
  return GetReal(node, state.config.*Member);
}

template <auto Member>
int BoolKey(snd_config_t* node, ParseState& state) {
  return GetBool(node, state.config.*Member);
}

template <auto Member>
int StreamsKey(snd_config_t* node, ParseState& state) {
  return GetStreams(node, state.config.*Member);
}

template <auto Member>
int FiltersKey(snd_config_t* node, ParseState& state) {
  if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND) {
    SNDERR("simroom: %s must be a compound { 0 { ... } 1 { ... } }", Id(node));
    return -EINVAL;
  }
  state.*Member = node;
  return 0;
}

constexpr std::int64_t kMaxPeriodNumber = INT64_MAX / 65536;
constexpr std::int64_t kMaxFrameNumber = std::int64_t{1} << 40;

struct KeyRow {
  std::string_view key;
  KeyParser parse;
};

constexpr KeyRow kKeys[] = {
    {"clock", [](snd_config_t* node, ParseState& s) { return GetClock(node, s.config.clock); }},
    {"loop_delay", IntegerKey<&RoomConfig::loopDelay, 0, kMaxDelayFrames>},
    {"acoustic_delay", IntegerKey<&RoomConfig::acousticDelay, 0, kMaxDelayFrames>},
    {"gain_db", RealKey<&RoomConfig::gainDb>},
    {"noise_db", RealKey<&RoomConfig::noiseDb>},
    {"sync_noise_db", RealKey<&RoomConfig::syncNoiseDb>},
    {"seed", IntegerKey<&RoomConfig::seed, 0, INT64_MAX>},
    {"cable", BoolKey<&RoomConfig::cable>},
    {"swap_inputs", BoolKey<&RoomConfig::swapInputs>},
    {"filters", FiltersKey<&ParseState::filters>},
    {"correction", FiltersKey<&ParseState::correction>},
    {"refuse_format", StreamsKey<&RoomConfig::refuseFormat>},
    {"fail_open", StreamsKey<&RoomConfig::failOpen>},
    {"fail_hw_params", StreamsKey<&RoomConfig::failHwParams>},
    {"period_frames", IntegerKey<&RoomConfig::periodFrames, 16, 65536>},
    {"rate", IntegerKey<&RoomConfig::rate, 8000, 384000>},
    {"channels", IntegerKey<&RoomConfig::channels, 1, 2>},
    {"xrun_playback_period", IntegerKey<&RoomConfig::xrunPlaybackPeriod, 0, kMaxPeriodNumber>},
    {"xrun_capture_period", IntegerKey<&RoomConfig::xrunCapturePeriod, 0, kMaxPeriodNumber>},
    {"gone_after_period", IntegerKey<&RoomConfig::goneAfterPeriod, 0, kMaxPeriodNumber>},
    {"capture_late", IntegerKey<&RoomConfig::captureLate, 0, kMaxDelayFrames>},
    {"slip_at_frame",
     [](snd_config_t* node, ParseState& s) {
       s.haveSlipAt = true;
       return GetInteger(node, 0, kMaxFrameNumber, s.config.slipAtFrame);
     }},
    {"slip_frames", IntegerKey<&RoomConfig::slipFrames, -kMaxDelayFrames, kMaxDelayFrames>},
    {"nonlinear", ParseNonlinear},
    {"reverb", ParseReverb},
    {"ir", ParseIr},
    {"calibrator", ParseCalibrator},
};

int ParseKey(snd_config_t* node, ParseState& state) {
  const std::string_view key = Id(node);
  if (key == "comment" || key == "type" || key == "hint") {
    return 0;
  }
  for (const KeyRow& row : kKeys) {
    if (row.key == key) {
      return row.parse(node, state);
    }
  }
  SNDERR("simroom: unknown key %s", Id(node));
  return -EINVAL;
}

// The keys that only make sense together.
int CheckCombination(const ParseState& state) {
  const RoomConfig& config = state.config;
  if (config.loopDelay + config.acousticDelay > kMaxDelayFrames) {
    SNDERR("simroom: loop_delay plus acoustic_delay must not exceed %lld frames",
           static_cast<long long>(kMaxDelayFrames));
    return -EINVAL;
  }
  if (state.haveSlipAt != (config.slipFrames != 0)) {
    SNDERR("simroom: slip_at_frame and slip_frames go together, and slip_frames is not 0");
    return -EINVAL;
  }
  if (config.swapInputs && config.channels != 2) {
    SNDERR("simroom: swap_inputs needs two channels; remove it or set channels 2");
    return -EINVAL;
  }
  if (!config.irPath.empty() && config.reverb) {
    SNDERR(
        "simroom: ir and reverb do not go together: the file's response holds its own "
        "reverberation");
    return -EINVAL;
  }
  if (config.calibrator && !(config.calibrator->hz < config.rate / 2.0)) {
    SNDERR("simroom: calibrator: hz must lie below half the rate (%g Hz)", config.rate / 2.0);
    return -EINVAL;
  }
  return 0;
}

int ParseFilters(snd_config_t* list, double rate, std::vector<FilterSpec>& out) {
  out.clear();
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, list) {
    FilterSpec filter;
    if (const int err = ParseFilter(snd_config_iterator_entry(i), rate, filter); err < 0) {
      return err;
    }
    out.push_back(filter);
  }
  return 0;
}

}  // namespace

int ParseRoomConfig(snd_config_t* conf, RoomConfig& config) {
  ParseState state{config};
  snd_config_iterator_t i = nullptr;
  snd_config_iterator_t next = nullptr;
  snd_config_for_each(i, next, conf) {
    if (const int err = ParseKey(snd_config_iterator_entry(i), state); err < 0) {
      return err;
    }
  }
  if (const int err = CheckCombination(state); err < 0) {
    return err;
  }
  if (state.correction != nullptr) {
    if (const int err = ParseFilters(state.correction, config.rate, config.correction); err < 0) {
      return err;
    }
  }
  if (state.filters != nullptr) {
    if (const int err = ParseFilters(state.filters, config.rate, config.filters); err < 0) {
      return err;
    }
  } else {
    // At a low rate the default room keeps only the filters that fit below half the rate.
    std::erase_if(config.filters, [&](const FilterSpec& f) { return f.hz >= config.rate / 2.0; });
  }
  if (config.irPath.empty()) {
    return 0;
  }
  // The file's response takes the room filters' place.
  if (state.filters != nullptr && !config.filters.empty()) {
    SNDERR("simroom: ir replaces the room's filters; leave filters out (or empty)");
    return -EINVAL;
  }
  config.filters.clear();
  auto response = std::make_shared<std::vector<double>>();
  if (const int err = LoadImpulseResponse(config.irPath, config.rate, *response); err < 0) {
    return err;
  }
  config.ir = std::move(response);
  return 0;
}

}  // namespace simroom
