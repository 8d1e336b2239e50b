#include "audio/stream_setup.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "text/text_format.h"

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
  return {std::move(message), onStdout, {}};
}

// Hints for the causes a user can do something about.
constexpr const char* kHintUnknownName =
    "Hint: no sound device has that name. List the devices with 'tonvale --list-devices' (or "
    "'aplay -l' and 'arecord -L'), then start tonvale again with one of their names after "
    "-D.\n";
constexpr const char* kHintBusy =
    "Hint: another program is using the device. Close it (or stop the sound server's use of "
    "the device) and run again.\n";
constexpr const char* kHintRate =
    "Hint: the device does not run at %u Hz. Set the interface to %u Hz (in its control "
    "panel or mixer) and run again.\n";
constexpr const char* kHintHw =
    "Hint: an hw: device takes only its own native layout. Try the same card as plughw:N "
    "(ALSA converts the layout; the rate stays %u Hz).\n";

const char* OpenHint(int err) {
  if (err == -ENOENT || err == -ENODEV || err == -ENXIO) {
    return kHintUnknownName;
  }
  return err == -EBUSY || err == -EAGAIN ? kHintBusy : "";
}

DeviceFailure WithHint(DeviceFailure failure, const char* hint) {
  failure.hint = hint;
  return failure;
}

DeviceFailure WithRateHint(DeviceFailure failure, unsigned rate) {
  AppendFormat(failure.hint, kHintRate, rate, rate);
  return failure;
}

// Access, format and channels are what a raw hw: device may refuse and its
// plughw: twin converts.
DeviceFailure WithLayoutHint(DeviceFailure failure, const StreamRequest& request) {
  if (std::string_view(request.deviceName).starts_with("hw:")) {
    AppendFormat(failure.hint, kHintHw, request.rate);
  }
  return failure;
}

std::optional<DeviceFailure> SetLayout(snd_pcm_t* handle, snd_pcm_hw_params_t* hw,
                                       const StreamTexts& texts, const StreamRequest& request) {
  int err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0) {
    return WithLayoutHint(Failure(false, "Problem setting %s access to non-interleaved: %s\n",
                                  texts.name, snd_strerror(err)),
                          request);
  }
  err = snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S24_3LE);
  if (err < 0) {
    return WithLayoutHint(Failure(false, texts.formatFailed, snd_strerror(err)), request);
  }
  err = snd_pcm_hw_params_set_channels(handle, hw, static_cast<unsigned>(request.channels));
  if (err < 0) {
    return WithLayoutHint(Failure(false, "Problem setting %s channels to %i: %s\n", texts.name,
                                  request.channels, snd_strerror(err)),
                          request);
  }
  return std::nullopt;
}

std::optional<DeviceFailure> SetRate(snd_pcm_t* handle, snd_pcm_hw_params_t* hw,
                                     const StreamTexts& texts, const StreamRequest& request) {
  // A resampler in the path (plug:, plughw:) would measure its own filters
  // along with the room, so a device at another rate is refused instead.
  (void)snd_pcm_hw_params_set_rate_resample(handle, hw, 0);
  unsigned grantedRate = request.rate;
  const int err = snd_pcm_hw_params_set_rate_near(handle, hw, &grantedRate, nullptr);
  if (err < 0) {
    return WithRateHint(Failure(false, "Problem setting %s rate to %u Hz: %s\n", texts.name,
                                request.rate, snd_strerror(err)),
                        request.rate);
  }
  // Every frequency of the sweep and of the band plan assumes this rate.
  if (grantedRate != request.rate) {
    return WithRateHint(Failure(false, "Problem setting %s rate: %u Hz requested, %u Hz granted\n",
                                texts.name, request.rate, grantedRate),
                        request.rate);
  }
  return std::nullopt;
}

std::optional<DeviceFailure> SetSizes(snd_pcm_t* handle, snd_pcm_hw_params_t* hw,
                                      const StreamTexts& texts, const StreamRequest& request) {
  snd_pcm_uframes_t periodRequest = request.period;
  int err = snd_pcm_hw_params_set_period_size_near(handle, hw, &periodRequest, nullptr);
  if (err < 0) {
    return Failure(false, "Problem setting %s period size: %s\n", texts.name, snd_strerror(err));
  }
  // Three periods must fit the buffer, so that three can be kept queued
  // ahead of the recording whatever period the device chose.
  snd_pcm_uframes_t bufferRequest = std::max(request.buffer, 3 * periodRequest);
  err = snd_pcm_hw_params_set_buffer_size_near(handle, hw, &bufferRequest);
  if (err < 0) {
    return Failure(false, "Problem setting %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  return std::nullopt;
}

std::optional<DeviceFailure> ReadGrant(const snd_pcm_hw_params_t* hw, const StreamTexts& texts,
                                       StreamGrant& grant) {
  int err = snd_pcm_hw_params_get_period_size(hw, &grant.period, nullptr);
  if (err < 0) {
    return Failure(false, "Problem reading %s period size: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params_get_buffer_size(hw, &grant.buffer);
  if (err < 0) {
    return Failure(false, "Problem reading %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  return std::nullopt;
}

}  // namespace

std::optional<DeviceFailure> SetUpStream(PcmHandle& pcm, snd_pcm_stream_t stream,
                                         const StreamRequest& request, StreamGrant& grant) {
  const StreamTexts& texts = stream == SND_PCM_STREAM_PLAYBACK ? kPlaybackTexts : kCaptureTexts;
  int err = pcm.Open(request.deviceName, stream);
  if (err < 0) {
    return WithHint(Failure(false, texts.openFailed, snd_strerror(err)), OpenHint(err));
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
  if (auto failure = SetLayout(handle, hw, texts, request)) {
    return failure;
  }
  if (auto failure = SetRate(handle, hw, texts, request)) {
    return failure;
  }
  if (auto failure = SetSizes(handle, hw, texts, request)) {
    return failure;
  }
  err = snd_pcm_hw_params(handle, hw);
  if (err < 0) {
    return WithHint(Failure(texts.installFailedOnStdout, texts.installFailed, snd_strerror(err)),
                    err == -EBUSY ? kHintBusy : "");
  }
  return ReadGrant(hw, texts, grant);
}
