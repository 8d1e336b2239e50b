#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// The ALSA PCM devices a measurement can use: those that both play and
// record, as ALSA's device hints describe them.

// The longest device name -D and the menu's c command take.
inline constexpr std::size_t kMaxDeviceNameLength = 15;

struct SoundDevice {
  std::string name;         // what to give -D or the c command, e.g. "plughw:USB"
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

// The name -D and c accept for a name from ALSA's hints: "hw:CARD=USB,DEV=0"
// is "hw:USB", DEV=1 "hw:USB,1", and a card id too long for that is given by
// its number ("plughw:1"). Any other name is kept as it is.
std::string ShortDeviceName(const std::string& name);

// The list as -l prints it: each name on a line of its own, its description
// indented below it, and a note under a name too long to be typed; a line
// saying so when there are none.
std::string FormatDeviceList(std::span<const SoundDevice> devices);
