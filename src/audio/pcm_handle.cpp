#include "audio/pcm_handle.h"

PcmHandle::~PcmHandle() {
  if (pcm_ != nullptr) {
    // Nothing useful can be done about a failure while unwinding.
    (void)snd_pcm_close(pcm_);
  }
}

int PcmHandle::Open(const char* name, snd_pcm_stream_t stream) {
  snd_pcm_t* pcm = nullptr;
  const int err = snd_pcm_open(&pcm, name, stream, 0);
  if (err < 0) {
    return err;
  }
  pcm_ = pcm;
  return 0;
}

int PcmHandle::Close() {
  if (pcm_ == nullptr) {
    return 0;
  }
  const int err = snd_pcm_close(pcm_);
  pcm_ = nullptr;
  return err;
}

int AllocateHwParams(HwParamsPtr& params) {
  snd_pcm_hw_params_t* raw = nullptr;
  // snd_pcm_hw_params_malloc hands out a zero-filled container.
  const int err = snd_pcm_hw_params_malloc(&raw);
  if (err < 0) {
    return err;
  }
  params.reset(raw);
  return 0;
}
