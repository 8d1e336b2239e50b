#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <functional>
#include <span>

#include "audio/device_failure.h"
#include "audio/duplex_transfer.h"
#include "audio/stream_setup.h"
#include "base/expected.h"

// The two caller-owned buffers of a duplex run: `channels` planes of
// frameCount samples of sampleBytes each, planeBytes apart.
struct DuplexPlanes {
  std::span<const std::int8_t> play;
  std::span<std::int8_t> record;
  std::int32_t sampleBytes = 3;
  std::int32_t planeBytes = 0;
  std::int32_t frameCount = 0;
};

// What the caller hears of a run while it goes on.
struct DuplexEvents {
  // Both streams are set up and the transfer is about to start; the flag
  // says whether the device granted the period that was asked for.
  std::function<void(bool periodAsAsked)> started;
  TransferProgress progress;
};

// A step of closing the device that failed, when one did.
struct CloseProblem {
  const char* operation = nullptr;
  int error = 0;
};

// What a transfer that got going went through.
struct TransferReport {
  TransferStats stats;
  snd_pcm_uframes_t period = 0;  // the period the transfer moved
  CloseProblem closeProblem;
};

// Plays planes.play and records planes.record through the device at the same
// time, every whole period of both; the failure when the device could not be
// set up, and then nothing was played.
Expected<TransferReport, DeviceFailure> PLAY_REC(const StreamRequest& request,
                                                 const DuplexPlanes& planes,
                                                 const DuplexEvents& events);
