#pragma once

// One open handle on the simulated room: its clock, its position and the
// faults it has been told to show.

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "convolver.h"
#include "device.h"
#include "room.h"
#include "room_config.h"

namespace simroom {

struct Stream {
  // convolver: the room's impulse response or reverberant tail, for a playback stream.
  Stream(const RoomConfig& roomConfig, Device* sharedDevice, snd_pcm_stream_t stream,
         std::unique_ptr<Convolver> convolver)
      : config(roomConfig),
        device(sharedDevice),
        direction(stream),
        realtime(roomConfig.clock == ClockKind::kRealtime),
        path(roomConfig, roomConfig.rate, std::move(convolver)),
        noise(roomConfig.seed, roomConfig.noiseDb),
        syncNoise(~roomConfig.seed, roomConfig.syncNoiseDb) {
    if (roomConfig.calibrator) {
      calibrator.emplace(*roomConfig.calibrator, roomConfig.rate);
    }
    config.ir.reset();  // the convolver holds what it needs of the file
  }

  bool playback() const { return direction == SND_PCM_STREAM_PLAYBACK; }

  snd_pcm_ioplug_t io{};
  RoomConfig config;
  Device* device;
  snd_pcm_stream_t direction;
  bool realtime;
  int fd = -1;  // fast: an eventfd that is always ready; real time: a timerfd

  // What hw_params and sw_params granted.
  snd_pcm_format_t format = SND_PCM_FORMAT_S24_3LE;
  unsigned channels = 2;
  unsigned rate = 48000;
  std::int64_t period = 1024;
  std::int64_t buffer = 4096;
  std::int64_t boundary = 4096;
  std::int64_t stopThreshold = 4096;
  std::int64_t availMin = 1024;

  // The current run, counted from the last prepare.
  bool running = false;
  bool xrun = false;
  std::int64_t startNs = 0;           // CLOCK_MONOTONIC at start
  std::int64_t ticks = 0;             // period boundaries passed since start (real time)
  std::int64_t hw = 0;                // frames the device has played or captured
  std::int64_t appl = 0;              // frames the application has written or read
  snd_pcm_uframes_t lastApplPtr = 0;  // ALSA's application pointer, which wraps at the boundary
  snd_pcm_sframes_t lastPointer = 0;

  // Frames moved in the handle's earlier runs, for the faults that strike
  // at a chosen period of its life.
  std::int64_t movedBefore = 0;
  bool forcedXrunDone = false;

  RoomPath path;    // playback: output 1 into the room
  Noise noise;      // capture: the microphone's self-noise
  Noise syncNoise;  // capture: input 2's own noise, independent of the microphone's
  std::optional<Calibrator> calibrator;  // capture: what input 1 hears instead of the room

  // Frames moved over the handle's life: by the application on the fast
  // clock, by the device on the real-time clock.
  std::int64_t moved() const { return movedBefore + (realtime ? hw : appl); }
};

}  // namespace simroom
