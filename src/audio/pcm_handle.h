#pragma once

#include <alsa/asoundlib.h>

#include <memory>

// One open ALSA PCM stream. Closes the stream when it goes away, unless
// Close() already did (Close() lets the caller see the result and fix the
// order in which the two streams of a duplex transfer are closed).
class PcmHandle {
 public:
  PcmHandle() = default;
  ~PcmHandle();
  PcmHandle(const PcmHandle&) = delete;
  PcmHandle& operator=(const PcmHandle&) = delete;
  PcmHandle(PcmHandle&&) = delete;
  PcmHandle& operator=(PcmHandle&&) = delete;

  // Opens name in blocking mode; returns 0 or a negative ALSA error code.
  int Open(const char* name, snd_pcm_stream_t stream);
  // Closes the stream now; returns 0 or a negative ALSA error code.
  int Close();
  [[nodiscard]] snd_pcm_t* get() const { return pcm_; }

 private:
  snd_pcm_t* pcm_ = nullptr;
};

struct HwParamsDeleter {
  void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};

// A hardware-parameter container, zero-filled when allocated.
using HwParamsPtr = std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter>;

// Allocates a container into params; returns 0 or a negative error code.
int AllocateHwParams(HwParamsPtr& params);
