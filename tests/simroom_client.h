#pragma once

// A small ALSA client for testing the simulated room in-process: it loads its
// own configuration (ALSA caches the global one per process) and moves audio
// through one device opened for playback and for capture, the way a
// measurement does.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// ALSA configuration text with this build's simulated room plugin loaded.
class AlsaConfig {
 public:
  explicit AlsaConfig(const std::string& deviceEntries);
  ~AlsaConfig();
  AlsaConfig(const AlsaConfig&) = delete;
  AlsaConfig& operator=(const AlsaConfig&) = delete;
  snd_config_t* get() const { return config_; }

 private:
  snd_config_t* config_ = nullptr;
};

// A PCM handle closed when it goes away.
struct Pcm {
  snd_pcm_t* handle = nullptr;
  Pcm() = default;
  Pcm(const Pcm&) = delete;
  Pcm& operator=(const Pcm&) = delete;
  ~Pcm() {
    if (handle != nullptr) snd_pcm_close(handle);
  }
};

// One stream set up as a measurement asks: two channels of S24_3LE,
// non-interleaved, 48000 Hz; every call's result is kept.
struct StreamSetup {
  int open = 0;
  int format = 0;
  int hwParams = 0;
  snd_pcm_uframes_t period = 0;
  unsigned rate = 0;
  unsigned channels = 0;
  bool operator==(const StreamSetup&) const = default;
};

void PrintTo(const StreamSetup& s, std::ostream* os);

StreamSetup OpenStream(const AlsaConfig& config, const char* device, snd_pcm_stream_t stream,
                       snd_pcm_uframes_t period, Pcm& pcm, unsigned channels = 2);

struct DuplexOptions {
  snd_pcm_uframes_t period = 1024;
  unsigned primePeriods = 1;  // written before the first read
};

struct DuplexResult {
  StreamSetup playback;
  StreamSetup capture;
  std::vector<long> writes;  // result of each writen, in order
  std::vector<long> reads;   // result of each readn, in order
  int prepareAfterError = 0;
  double transferSeconds = 0.0;   // from the first write to the return of the last read
  std::vector<std::int32_t> in1;  // as long as the outputs; frames not recorded stay 0
  std::vector<std::int32_t> in2;
};

// Plays out1 and out2 (24-bit sample words) and records both inputs for as
// many frames, one period at a time, reading after each write.
DuplexResult RunDuplex(const AlsaConfig& config, const char* device,
                       const std::vector<std::int32_t>& out1, const std::vector<std::int32_t>& out2,
                       const DuplexOptions& options = {});

inline constexpr double kFullScale = 8388608.0;
