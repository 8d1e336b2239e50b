#include "audio/device_list.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

// snd_device_name_get_hint hands over a malloc'ed copy, or nullptr.
std::string TakeHint(const void* hint, const char* id) {
  const std::unique_ptr<char, decltype(&std::free)> value(snd_device_name_get_hint(hint, id),
                                                          &std::free);
  return value ? std::string(value.get()) : std::string();
}

struct HintsDeleter {
  void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};

}  // namespace

SoundDeviceList ListDuplexDevices() {
  SoundDeviceList list;
  void** raw = nullptr;
  if (const int err = snd_device_name_hint(-1, "pcm", &raw); err < 0) {
    list.error = std::string("Could not list the sound devices: ") + snd_strerror(err) +
                 ". Check the ALSA configuration (ALSA_CONFIG_PATH, ~/.asoundrc).";
    return list;
  }
  const std::unique_ptr<void*, HintsDeleter> hints(raw);
  for (void** hint = hints.get(); *hint != nullptr; ++hint) {
    // No IOID means the device goes both ways; "Input" or "Output" limits it.
    if (!TakeHint(*hint, "IOID").empty()) {
      continue;
    }
    std::string name = TakeHint(*hint, "NAME");
    if (name.empty() || name == "null") {
      continue;
    }
    list.devices.push_back({std::move(name), TakeHint(*hint, "DESC")});
  }
  return list;
}

std::string FormatDeviceList(std::span<const SoundDevice> devices) {
  if (devices.empty()) {
    return "No sound device that can both play and record was found.\n";
  }
  std::string text;
  for (const SoundDevice& device : devices) {
    text += device.name;
    text += '\n';
    std::string_view description = device.description;
    while (!description.empty()) {
      const std::size_t end = description.find('\n');
      text += "    ";
      text += description.substr(0, end);
      text += '\n';
      description.remove_prefix(end == std::string_view::npos ? description.size() : end + 1);
    }
  }
  return text;
}
