#include "audio/play_rec.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "audio/duplex_transfer.h"
#include "audio/pcm_handle.h"

namespace {

// Ends the program after a failure to set up the sound device: nothing can
// be measured without both streams.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void Fatal(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
  std::exit(1);
}

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

struct Granted {
  snd_pcm_uframes_t period = 0;
  snd_pcm_uframes_t buffer = 0;
};

// Opens one stream of the device and installs its parameters. Every request
// is checked: a device that cannot do what was asked would otherwise play
// nothing, or play at the wrong speed, and the results would look normal.
Granted SetUpStream(PcmHandle& pcm, HwParamsPtr& params, const char* deviceName,
                    snd_pcm_stream_t stream, const StreamTexts& texts, std::int32_t channels,
                    unsigned rate, snd_pcm_uframes_t period) {
  int err = pcm.Open(deviceName, stream);
  if (err < 0) {
    Fatal(stderr, texts.openFailed, snd_strerror(err));
  }
  err = AllocateHwParams(params);
  if (err < 0) {
    Fatal(stderr, "Problem allocating %s parameters: %s\n", texts.name, snd_strerror(err));
  }
  snd_pcm_t* handle = pcm.get();
  snd_pcm_hw_params_t* hw = params.get();

  err = snd_pcm_hw_params_any(handle, hw);
  if (err < 0) {
    Fatal(stderr, "Problem reading %s hardware parameters: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0) {
    Fatal(stderr, "Problem setting %s access to non-interleaved: %s\n", texts.name,
          snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S24_3LE);
  if (err < 0) {
    Fatal(stderr, texts.formatFailed, snd_strerror(err));
  }
  err = snd_pcm_hw_params_set_channels(handle, hw, static_cast<unsigned>(channels));
  if (err < 0) {
    Fatal(stderr, "Problem setting %s channels to %i: %s\n", texts.name, channels,
          snd_strerror(err));
  }
  unsigned grantedRate = rate;
  err = snd_pcm_hw_params_set_rate_near(handle, hw, &grantedRate, nullptr);
  if (err < 0) {
    Fatal(stderr, "Problem setting %s rate to %u Hz: %s\n", texts.name, rate, snd_strerror(err));
  }
  // Every frequency of the sweep and of the band plan assumes this rate.
  if (grantedRate != rate) {
    Fatal(stderr, "Problem setting %s rate: %u Hz requested, %u Hz granted\n", texts.name, rate,
          grantedRate);
  }
  snd_pcm_uframes_t periodRequest = period;
  err = snd_pcm_hw_params_set_period_size_near(handle, hw, &periodRequest, nullptr);
  if (err < 0) {
    Fatal(stderr, "Problem setting %s period size: %s\n", texts.name, snd_strerror(err));
  }
  snd_pcm_uframes_t bufferRequest = BUFFER_FRAMES;
  err = snd_pcm_hw_params_set_buffer_size_near(handle, hw, &bufferRequest);
  if (err < 0) {
    Fatal(stderr, "Problem setting %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params(handle, hw);
  if (err < 0) {
    Fatal(texts.installFailedOnStdout ? stdout : stderr, texts.installFailed, snd_strerror(err));
  }

  Granted granted;
  err = snd_pcm_hw_params_get_period_size(hw, &granted.period, nullptr);
  if (err < 0) {
    Fatal(stderr, "Problem reading %s period size: %s\n", texts.name, snd_strerror(err));
  }
  err = snd_pcm_hw_params_get_buffer_size(hw, &granted.buffer);
  if (err < 0) {
    Fatal(stderr, "Problem reading %s buffer size: %s\n", texts.name, snd_strerror(err));
  }
  return granted;
}

// Periods to queue ahead of the recording: three in the usual buffer of four,
// never so many that the writes would have to wait for the device.
std::int64_t PrimePeriods(const Granted& playback) {
  if (playback.period == 0) {
    return 1;
  }
  const auto periodsInBuffer = static_cast<std::int64_t>(playback.buffer / playback.period);
  return std::clamp<std::int64_t>(periodsInBuffer - 1, 1, 3);
}

// A bar on standard error that follows the recording; drawn only for a
// person watching a terminal, never into a log or a pipe.
class ProgressBar {
 public:
  ProgressBar() : enabled_(isatty(STDERR_FILENO) == 1) {}
  ~ProgressBar() {
    if (drawn_) {
      std::fprintf(stderr, "\r%*s\r", kWidth + 8, "");
    }
  }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ProgressBar(ProgressBar&&) = delete;
  ProgressBar& operator=(ProgressBar&&) = delete;

  void Update(std::int64_t done, std::int64_t total) {
    if (!enabled_ || total <= 0) {
      return;
    }
    const auto percent = static_cast<int>(100 * done / total);
    if (percent == lastPercent_) {
      return;
    }
    lastPercent_ = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, kHashes, kWidth - filled, "", percent);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  static constexpr int kWidth = 40;
  static constexpr const char* kHashes = "########################################";
  bool enabled_;
  bool drawn_ = false;
  int lastPercent_ = -1;
};

// The steps of closing that can report a problem worth a line: anything but
// the expected end of a stream that has played everything it was given.
void WarnIfCloseFailed(int err, const char* operation, bool& warned) {
  if (err >= 0 || err == -EPIPE || warned) {
    return;
  }
  std::fprintf(stderr,
               "Warning: %s failed while closing the sound device: %s. The recording is "
               "complete; if the device misbehaves, reconnect it.\n",
               operation, snd_strerror(err));
  warned = true;
}

}  // namespace

void PLAY_REC(std::int32_t channels, std::int32_t mode, const char* deviceName, std::uint32_t rate,
              std::int32_t /*reserved*/, std::int32_t frameCount, const std::int8_t* playBuffer,
              std::int8_t* recordBuffer, std::int32_t sampleBytes, std::int32_t planeBytes) {
  PcmHandle playback;
  HwParamsPtr playbackParams;
  const Granted played = SetUpStream(playback, playbackParams, deviceName, SND_PCM_STREAM_PLAYBACK,
                                     kPlaybackTexts, channels, rate, PERIOD_FRAMES);
  if (played.period != PERIOD_FRAMES) {
    std::printf("Driver did not return requested period size.\n");
  }

  PcmHandle capture;
  HwParamsPtr captureParams;
  // The capture stream is asked for the period playback was granted: every
  // write and read moves exactly that many frames.
  (void)SetUpStream(capture, captureParams, deviceName, SND_PCM_STREAM_CAPTURE, kCaptureTexts,
                    channels, rate, played.period);

  bool deviceGone = false;
  if (mode == 3) {
    // Both streams are freshly installed and hold nothing yet, so draining
    // them only settles their state; some drivers refuse to drain a stream
    // that never ran, and that is harmless. Preparing is what the transfer
    // needs, and a stream that cannot be prepared cannot be measured with.
    (void)snd_pcm_drain(playback.get());
    (void)snd_pcm_drain(capture.get());
    int err = snd_pcm_prepare(capture.get());
    if (err < 0) {
      Fatal(stderr, "Problem preparing recording stream: %s\n", snd_strerror(err));
    }
    err = snd_pcm_prepare(playback.get());
    if (err < 0) {
      Fatal(stderr, "Problem preparing playback stream: %s\n", snd_strerror(err));
    }

    std::printf("Running Test...\n");
    std::fflush(stdout);

    DuplexLayout layout;
    layout.playBuffer = playBuffer;
    layout.recordBuffer = recordBuffer;
    layout.channels = channels;
    layout.sampleBytes = sampleBytes;
    layout.planeBytes = planeBytes;
    layout.frameCount = frameCount;
    layout.period = played.period;
    layout.primePeriods = PrimePeriods(played);
    TransferStats stats;
    {
      ProgressBar bar;
      stats = DuplexTransfer(
          playback.get(), capture.get(), layout,
          [&bar](std::int64_t done, std::int64_t total) { bar.Update(done, total); });
    }
    PrintTransferWarning(stats, played.period, rate);
    deviceGone = stats.fatalError != 0;
  }

  bool warned = deviceGone;
  if (deviceGone) {
    // Draining a stream that has stopped answering could wait forever.
    (void)snd_pcm_drop(playback.get());
    (void)snd_pcm_drop(capture.get());
  } else {
    WarnIfCloseFailed(snd_pcm_drain(playback.get()), "draining playback", warned);
    WarnIfCloseFailed(snd_pcm_drain(capture.get()), "draining recording", warned);
  }
  WarnIfCloseFailed(playback.Close(), "closing playback", warned);
  WarnIfCloseFailed(capture.Close(), "closing recording", warned);
}
