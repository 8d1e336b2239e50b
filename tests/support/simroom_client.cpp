#include "simroom_client.h"

#include <stdexcept>

#include "audio/sample_packing.h"
#include "process_runner.h"

AlsaConfig::AlsaConfig(const std::string& deviceEntries) {
  const std::string text = SimroomConfig(deviceEntries);
  snd_input_t* input = nullptr;
  if (snd_config_top(&config_) < 0 ||
      snd_input_buffer_open(&input, text.data(), static_cast<ssize_t>(text.size())) < 0) {
    throw std::runtime_error("cannot set up an ALSA configuration");
  }
  const int err = snd_config_load(config_, input);
  snd_input_close(input);
  if (err < 0) throw std::runtime_error("bad ALSA configuration: " + text);
}

int OpenStream(const AlsaConfig& config, const char* device, snd_pcm_stream_t stream,
               snd_pcm_uframes_t& period, Pcm& pcm) {
  if (const int err = snd_pcm_open_lconf(&pcm.handle, device, stream, 0, config.get()); err < 0) {
    pcm.handle = nullptr;
    return err;
  }
  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_alloca(&params);
  snd_pcm_hw_params_any(pcm.handle, params);
  snd_pcm_hw_params_set_access(pcm.handle, params, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  const int format = snd_pcm_hw_params_set_format(pcm.handle, params, SND_PCM_FORMAT_S24_3LE);
  snd_pcm_hw_params_set_channels(pcm.handle, params, 2);
  unsigned rate = 48000;
  snd_pcm_hw_params_set_rate_near(pcm.handle, params, &rate, nullptr);
  snd_pcm_hw_params_set_period_size_near(pcm.handle, params, &period, nullptr);
  snd_pcm_uframes_t buffer = 4 * period;
  snd_pcm_hw_params_set_buffer_size_near(pcm.handle, params, &buffer);
  const int installed = snd_pcm_hw_params(pcm.handle, params);
  return format < 0 ? format : installed;
}

DuplexResult RunDuplex(const AlsaConfig& config, const char* device,
                       const std::vector<SampleWord>& out1, const std::vector<SampleWord>& out2,
                       snd_pcm_uframes_t period, std::int64_t primePeriods) {
  Pcm play;
  Pcm rec;
  if (OpenStream(config, device, SND_PCM_STREAM_PLAYBACK, period, play) != 0 ||
      OpenStream(config, device, SND_PCM_STREAM_CAPTURE, period, rec) != 0) {
    throw std::runtime_error(std::string("cannot set up ") + device);
  }
  const auto frames = static_cast<std::int32_t>(out1.size());
  std::vector<std::int8_t> played(6 * out1.size());
  std::vector<std::int8_t> recorded(played.size());
  NUM24_TO_CHAR(out1.data(), played.data(), frames);
  const std::ptrdiff_t plane = std::ptrdiff_t{3} * frames;
  NUM24_TO_CHAR(out2.data(), played.data() + plane, frames);
  const DuplexLayout layout{.playBuffer = played.data(),
                            .recordBuffer = recorded.data(),
                            .planeBytes = 3 * frames,
                            .frameCount = frames,
                            .period = period,
                            .primePeriods = primePeriods};
  snd_pcm_prepare(rec.handle);
  snd_pcm_prepare(play.handle);
  DuplexResult result;
  result.stats = DuplexTransfer(play.handle, rec.handle, layout, {});
  result.drain = snd_pcm_drain(play.handle);
  result.in1.resize(out1.size());
  result.in2.resize(out1.size());
  CHAR_TO_NUM32(recorded.data(), result.in1.data(), 3, frames);
  CHAR_TO_NUM32(recorded.data() + plane, result.in2.data(), 3, frames);
  return result;
}
