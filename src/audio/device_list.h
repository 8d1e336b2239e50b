#pragma once

#include <span>
#include <string>
#include <vector>

// The ALSA PCM devices a measurement can use: those that both play and
// record, as ALSA's device hints describe them.

struct SoundDevice {
  std::string name;         // what to give -D or the c command, e.g. "hw:CARD=USB,DEV=0"
  std::string description;  // ALSA's text; may hold several lines
};

struct SoundDeviceList {
  std::vector<SoundDevice> devices;  // in ALSA's order
  std::string error;                 // non-empty when ALSA could not list them
};

// Asks ALSA (its global configuration, so ALSA_CONFIG_PATH applies) for every
// PCM device that is not limited to playback or to capture. "null", which
// records silence, is left out: it can never measure anything.
SoundDeviceList ListDuplexDevices();

// The list as -l prints it: each name on a line of its own, its description
// indented below it; a line saying so when there are none.
std::string FormatDeviceList(std::span<const SoundDevice> devices);
