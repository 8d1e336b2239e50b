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
    "Hint: no sound device has that name. List the devices with 'aplay -l' or 'arecord -L' "
    "(or 'tonvale --list-devices') and type one of their names with 'c'.\n";
constexpr const char* kHintBusy =
    "Hint: another program is using the device. Close it (or stop the sound server's use of "
    "the device) and run again.\n";
constexpr const char* kHintRate =
    "Hint: the device does not run at 48000 Hz. Set the interface to 48000 Hz (in its control "
    "panel or mixer) and run again.\n";
constexpr const char* kHintHw =
    "Hint: an hw: device takes only its own native layout. Try the same card as plughw:N "
    "(ALSA converts the layout; the rate stays 48000 Hz).\n";

const char* OpenHint(int err) {
  if (err == -ENOENT || err == -ENODEV || err == -ENXIO) {
    return kHintUnknownName;
  }
  return err == -EBUSY || err == -EAGAIN ? kHintBusy : "";
}

// Access, format and channels are what a raw hw: device may refuse and its
// plughw: twin converts.
const char* LayoutHint(const char* deviceName) {
  return std::string_view(deviceName).starts_with("hw:") ? kHintHw : "";
}

DeviceFailure WithHint(DeviceFailure failure, const char* hint) {
  failure.hint = hint;
  return failure;
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
  err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0) {
    return WithHint(Failure(false, "Problem setting %s access to non-interleaved: %s\n", texts.name,
                            snd_strerror(err)),
                    LayoutHint(request.deviceName));
  }
  err = snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S24_3LE);
  if (err < 0) {
    return WithHint(Failure(false, texts.formatFailed, snd_strerror(err)),
                    LayoutHint(request.deviceName));
  }
  err = snd_pcm_hw_params_set_channels(handle, hw, static_cast<unsigned>(request.channels));
  if (err < 0) {
    return WithHint(Failure(false, "Problem setting %s channels to %i: %s\n", texts.name,
                            request.channels, snd_strerror(err)),
                    LayoutHint(request.deviceName));
  }
  // A resampler in the path (plug:, plughw:) would measure its own filters
  // along with the room, so a device at another rate is refused instead.
  (void)snd_pcm_hw_params_set_rate_resample(handle, hw, 0);
  unsigned grantedRate = request.rate;
  err = snd_pcm_hw_params_set_rate_near(handle, hw, &grantedRate, nullptr);
  if (err < 0) {
    return WithHint(Failure(false, "Problem setting %s rate to %u Hz: %s\n", texts.name,
                            request.rate, snd_strerror(err)),
                    kHintRate);
  }
  // Every frequency of the sweep and of the band plan assumes this rate.
  if (grantedRate != request.rate) {
    return WithHint(Failure(false, "Problem setting %s rate: %u Hz requested, %u Hz granted\n",
                            texts.name, request.rate, grantedRate),
                    kHintRate);
  }
  snd_pcm_uframes_t periodRequest = request.period;
  err = snd_pcm_hw_params_set_period_size_near(handle, hw, &periodRequest, nullptr);
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
  err = snd_pcm_hw_params(handle, hw);
  if (err < 0) {
    return WithHint(Failure(texts.installFailedOnStdout, texts.installFailed, snd_strerror(err)),
                    err == -EBUSY ? kHintBusy : "");
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
