#include "audio/stream_setup.h"

#include <string>

#include "report/text_format.h"

namespace {

// The texts that differ between the two streams. The open, format and
// installation messages are the ones users and scripts already know.
struct StreamTexts {
  const char* name;
  const char* openFailed;
  const char* formatFailed;
  const char* installFailed;
  bool installFailedOnStdout;
};

constexpr StreamTexts kPlaybackTexts{"playback", "Playback device could not be opened: %s\n",
                                     "Problem setting playback format: %s\n",
                                     "Problem setting playback parameters: %s\n", false};
constexpr StreamTexts kCaptureTexts{"recording", "unable to open pcm record device: %s\n",
                                    "Problem setting recording format: %s\n",
                                    "Could not set record hardware parameters: %s\n", true};

// The failure of one step, as the one line that tells it.
template <typename... Args>
DeviceFailure Failure(bool onStdout, const char* format, Args... args) {
  std::string message;
  AppendFormat(message, format, args...);
  return {std::move(message), onStdout};
}

}  // namespace

std::optional<DeviceFailure> SetUpStream(PcmHandle& pcm, snd_pcm_stream_t stream,
                                         const StreamRequest& request, StreamGrant& grant) {
  const StreamTexts& texts = stream == SND_PCM_STREAM_PLAYBACK ? kPlaybackTexts : kCaptureTexts;
  int err = pcm.Open(request.deviceName, stream);
  if (err < 0) {
    return Failure(false, texts.openFailed, snd_strerror(err));
  }
  HwParamsPtr params;
  err = AllocateHwParams(params);
  if (err < 0) {
    return Failure(false, "Problem allocating %s parameters: %s\n", texts.name, snd_strerror(err));
  }
  snd_pcm_t* handle = pcm.get();
  snd_pcm_hw_params_t* hw = params.get();

  err = snd_pcm_hw_params_any(handle, hw);
  if (err < 0) {
    return Failure(false, "Problem reading %s hardware parameters: %s\n", texts.name,
                   snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0) {
    return Failure(false, "Problem setting %s access to non-interleaved: %s\n", texts.name,
                   snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S24_3LE);
  if (err < 0) {
    return Failure(false, texts.formatFailed, snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_channels(handle, hw, static_cast<unsigned>(request.channels));
  if (err < 0) {
    return Failure(false, "Problem setting %s channels to %i: %s\n", texts.name, request.channels,
                   snd_strerror(err));
  }
  unsigned grantedRate = request.rate;
  err = snd_pcm_hw_params_set_rate_near(handle, hw, &grantedRate, nullptr);
  if (err < 0) {
    return Failure(false, "Problem setting %s rate to %u Hz: %s\n", texts.name, request.rate,
                   snd_strerror(err));
  }
  // Every frequency of the sweep and of the band plan assumes this rate.
  if (grantedRate != request.rate) {
    return Failure(false, "Problem setting %s rate: %u Hz requested, %u Hz granted\n", texts.name,
                   request.rate, grantedRate);
  }
  snd_pcm_uframes_t periodRequest = request.period;
  err = snd_pcm_hw_params_set_period_size_near(handle, hw, &periodRequest, nullptr);
  if (err < 0) {
    return Failure(false, "Problem setting %s period size: %s\n", texts.name, snd_strerror(err));
  }
  snd_pcm_uframes_t bufferRequest = request.buffer;
  err = snd_pcm_hw_params_set_buffer_size_near(handle, hw, &bufferRequest);
  if (err < 0) {
    return Failure(false, "Problem setting %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params(handle, hw);
  if (err < 0) {
    return Failure(texts.installFailedOnStdout, texts.installFailed, snd_strerror(err));
  }
  err = snd_pcm_hw_params_get_period_size(hw, &grant.period, nullptr);
  if (err < 0) {
    return Failure(false, "Problem reading %s period size: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params_get_buffer_size(hw, &grant.buffer);
  if (err < 0) {
    return Failure(false, "Problem reading %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  return std::nullopt;
}
