#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <optional>

#include "audio/device_failure.h"
#include "audio/pcm_handle.h"

// What a measurement asks of each stream of the device.
struct StreamRequest {
  const char* deviceName = "default";
  std::int32_t channels = 2;
  unsigned rate = 0;  // samples per second; the caller sets it
  snd_pcm_uframes_t period = 1024;
  snd_pcm_uframes_t buffer = 4096;
};

// What the device granted.
struct StreamGrant {
  snd_pcm_uframes_t period = 0;
  snd_pcm_uframes_t buffer = 0;
};

// Opens one stream of the device into pcm and installs its hardware
// parameters. Every request is checked: a device that cannot do what was
// asked would otherwise play nothing, or play at the wrong speed, and the
// results would look normal. Returns the failure, or nothing and the grant.
std::optional<DeviceFailure> SetUpStream(PcmHandle& pcm, snd_pcm_stream_t stream,
                                         const StreamRequest& request, StreamGrant& grant);
