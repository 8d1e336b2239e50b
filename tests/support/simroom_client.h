#pragma once

// A small ALSA client for testing the simulated room in-process: it loads its
// own configuration (ALSA caches the global one per process) and moves audio
// through one device with the program's own duplex transfer and packing.

#include <alsa/asoundlib.h>

#include <string>
#include <vector>

#include "audio/duplex_transfer.h"
#include "audio/sample_word.h"

// SimroomConfig(deviceEntries), loaded.
class AlsaConfig {
 public:
  explicit AlsaConfig(const std::string& deviceEntries);
  ~AlsaConfig() { snd_config_delete(config_); }
  AlsaConfig(const AlsaConfig&) = delete;
  AlsaConfig& operator=(const AlsaConfig&) = delete;
  snd_config_t* get() const { return config_; }

 private:
  snd_config_t* config_ = nullptr;
};

// A PCM handle, closed when it goes away.
struct Pcm {
  snd_pcm_t* handle = nullptr;
  Pcm() = default;
  Pcm(const Pcm&) = delete;
  Pcm& operator=(const Pcm&) = delete;
  ~Pcm() {
    if (handle != nullptr) snd_pcm_close(handle);
  }
};

// Opens one stream and sets it up as a measurement asks: two channels of
// S24_3LE, non-interleaved, 48000 Hz, period frames (the granted size on
// return). Returns 0, or the error of the open, the format or the set-up.
int OpenStream(const AlsaConfig& config, const char* device, snd_pcm_stream_t stream,
               snd_pcm_uframes_t& period, Pcm& pcm);

struct DuplexResult {
  TransferStats stats;
  int drain = 0;                // snd_pcm_drain on playback after the transfer
  std::vector<SampleWord> in1;  // as long as the outputs; frames not recorded stay 0
  std::vector<SampleWord> in2;
};

// Plays out1 and out2 and records both inputs for as many frames, in whole
// periods, keeping primePeriods queued ahead of the recording; throws when
// the streams cannot be set up.
DuplexResult RunDuplex(const AlsaConfig& config, const char* device,
                       const std::vector<SampleWord>& out1, const std::vector<SampleWord>& out2,
                       snd_pcm_uframes_t period, std::int64_t primePeriods);
