#include "simroom_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

AlsaConfig::AlsaConfig(const std::string& deviceEntries) {
  const std::string text =
      std::string("pcm_type.simroom { lib \"") + TONVALE_SIMROOM_PLUGIN + "\" }\n" + deviceEntries;
  snd_input_t* input = nullptr;
  if (snd_config_top(&config_) < 0 ||
      snd_input_buffer_open(&input, text.data(), static_cast<ssize_t>(text.size())) < 0) {
    throw std::runtime_error("cannot set up an ALSA configuration");
  }
  const int err = snd_config_load(config_, input);
  snd_input_close(input);
  if (err < 0) {
    throw std::runtime_error("bad ALSA configuration: " + text);
  }
}

AlsaConfig::~AlsaConfig() {
  snd_config_delete(config_);
}

StreamSetup OpenStream(const AlsaConfig& config, const char* device, snd_pcm_stream_t stream,
                       snd_pcm_uframes_t period, Pcm& pcm, unsigned channels) {
  StreamSetup setup;
  setup.open = snd_pcm_open_lconf(&pcm.handle, device, stream, 0, config.get());
  if (setup.open < 0) {
    pcm.handle = nullptr;
    return setup;
  }
  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_alloca(&params);
  snd_pcm_hw_params_any(pcm.handle, params);
  snd_pcm_hw_params_set_access(pcm.handle, params, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  setup.format = snd_pcm_hw_params_set_format(pcm.handle, params, SND_PCM_FORMAT_S24_3LE);
  snd_pcm_hw_params_set_channels(pcm.handle, params, channels);
  unsigned rate = 48000;
  snd_pcm_hw_params_set_rate_near(pcm.handle, params, &rate, nullptr);
  snd_pcm_hw_params_set_period_size_near(pcm.handle, params, &period, nullptr);
  snd_pcm_uframes_t buffer = 4096;
  snd_pcm_hw_params_set_buffer_size_near(pcm.handle, params, &buffer);
  setup.hwParams = snd_pcm_hw_params(pcm.handle, params);
  if (setup.hwParams == 0) {
    snd_pcm_hw_params_get_period_size(params, &setup.period, nullptr);
    snd_pcm_hw_params_get_rate(params, &setup.rate, nullptr);
    snd_pcm_hw_params_get_channels(params, &setup.channels);
  }
  return setup;
}

void PrintTo(const StreamSetup& s, std::ostream* os) {
  *os << "open " << s.open << " format " << s.format << " hw_params " << s.hwParams << " period "
      << s.period << " rate " << s.rate << " channels " << s.channels;
}

namespace {

void Pack(std::int32_t value, std::uint8_t* p) {
  const auto bits = static_cast<std::uint32_t>(value);
  p[0] = static_cast<std::uint8_t>(bits);
  p[1] = static_cast<std::uint8_t>(bits >> 8);
  p[2] = static_cast<std::uint8_t>(bits >> 16);
}

std::int32_t Unpack(const std::uint8_t* p) {
  const std::int32_t raw = p[0] | (p[1] << 8) | (p[2] << 16);
  return (raw ^ 0x800000) - 0x800000;
}

}  // namespace

DuplexResult RunDuplex(const AlsaConfig& config, const char* device,
                       const std::vector<std::int32_t>& out1, const std::vector<std::int32_t>& out2,
                       const DuplexOptions& options) {
  if (out1.size() != out2.size()) {
    throw std::invalid_argument("outputs of unequal length");
  }
  DuplexResult result;
  Pcm play;
  Pcm rec;
  result.playback = OpenStream(config, device, SND_PCM_STREAM_PLAYBACK, options.period, play);
  if (result.playback.open < 0 || result.playback.format < 0 || result.playback.hwParams < 0) {
    return result;
  }
  const snd_pcm_uframes_t period = result.playback.period;
  result.capture = OpenStream(config, device, SND_PCM_STREAM_CAPTURE, period, rec);
  if (result.capture.open < 0 || result.capture.format < 0 || result.capture.hwParams < 0) {
    return result;
  }

  const std::size_t frames = out1.size();
  const std::size_t p = period;
  result.in1.assign(frames, 0);
  result.in2.assign(frames, 0);
  std::vector<std::uint8_t> playBytes(2 * 3 * p);
  std::vector<std::uint8_t> recBytes(2 * 3 * p);

  auto write = [&](std::size_t at) {
    for (std::size_t i = 0; i < p; ++i) {
      const bool inside = at + i < frames;
      Pack(inside ? out1[at + i] : 0, &playBytes[3 * i]);
      Pack(inside ? out2[at + i] : 0, &playBytes[3 * (p + i)]);
    }
    void* planes[2] = {playBytes.data(), playBytes.data() + 3 * p};
    const long r = snd_pcm_writen(play.handle, planes, p);
    result.writes.push_back(r);
    return r;
  };
  auto read = [&](std::size_t at) {
    void* planes[2] = {recBytes.data(), recBytes.data() + 3 * p};
    const long r = snd_pcm_readn(rec.handle, planes, p);
    result.reads.push_back(r);
    for (long i = 0; i < r; ++i) {
      const auto j = static_cast<std::size_t>(i);
      if (at + j >= frames) {
        break;
      }
      result.in1[at + j] = Unpack(&recBytes[3 * j]);
      result.in2[at + j] = Unpack(&recBytes[3 * (p + j)]);
    }
    return r;
  };

  // The measurement's own order: drain both, prepare capture, then playback.
  snd_pcm_drain(play.handle);
  snd_pcm_drain(rec.handle);
  snd_pcm_prepare(rec.handle);
  snd_pcm_prepare(play.handle);
  std::size_t writeAt = 0;
  std::size_t readAt = 0;
  auto prime = [&]() {
    for (unsigned i = 0; i < options.primePeriods; ++i) {
      if (write(writeAt) == -EPIPE) {
        // Nothing has been read yet: start playback again from the same place.
        snd_pcm_prepare(play.handle);
        --i;
        continue;
      }
      writeAt += p;
    }
  };
  const auto start = std::chrono::steady_clock::now();
  prime();
  while (readAt + p <= frames) {
    const long r = read(readAt);
    readAt += p;
    const long w = write(writeAt);
    writeAt += p;
    if (r == -EPIPE || w == -EPIPE) {
      // Both streams start again together, so that capture frame k again
      // meets playback frame k.
      snd_pcm_drop(play.handle);
      snd_pcm_drop(rec.handle);
      snd_pcm_prepare(rec.handle);
      snd_pcm_prepare(play.handle);
      writeAt = readAt;
      prime();
    } else if (r < 0 || w < 0) {
      read(readAt);  // the capture stream's next period too
      result.prepareAfterError = snd_pcm_prepare(play.handle);
      break;
    }
  }
  result.transferSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  snd_pcm_drain(play.handle);
  snd_pcm_drain(rec.handle);
  return result;
}
