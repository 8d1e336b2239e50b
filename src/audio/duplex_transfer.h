#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <functional>

// Where the transfer takes its samples from and puts the recording: two
// caller-owned buffers of `channels` planes each, planeBytes apart, and the
// period size that every write and read moves.
struct DuplexLayout {
  const std::int8_t* playBuffer = nullptr;
  std::int8_t* recordBuffer = nullptr;
  std::int32_t channels = 2;
  std::int32_t sampleBytes = 3;
  std::int32_t planeBytes = 0;
  std::int32_t frameCount = 0;
  snd_pcm_uframes_t period = 0;
  // Periods written ahead of the first read, so that a device whose pointer
  // jumps a whole period at a time never finds the playback buffer empty.
  std::int64_t primePeriods = 3;
};

// What happened during one duplex transfer.
struct TransferStats {
  std::int64_t periods = 0;          // whole periods each stream had to move
  std::int64_t periodsRecorded = 0;  // periods that reached the record buffer
  std::int64_t xruns = 0;            // underruns and overruns
  std::int64_t otherErrors = 0;      // failed transfers other than xruns
  std::int64_t shortCounts = 0;      // transfers that moved fewer frames than asked
  std::int64_t lostPeriods = 0;      // periods whose recording is missing or misplaced
  // Set when the device stopped working and the transfer gave up early.
  int fatalError = 0;
  const char* fatalOperation = nullptr;

  [[nodiscard]] bool Clean() const {
    return xruns == 0 && otherErrors == 0 && shortCounts == 0 && fatalError == 0;
  }
};

// Called after every period recorded, with the periods done and the total.
using TransferProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Moves every whole period of the play buffer out through playback and the
// same periods in through capture. Both streams must be set up and prepared.
// After an underrun or overrun both streams are stopped, prepared and primed
// again from the first period not yet recorded, so that the recording stays
// aligned with the playback.
TransferStats DuplexTransfer(snd_pcm_t* playback, snd_pcm_t* capture, const DuplexLayout& layout,
                             const TransferProgress& progress);
