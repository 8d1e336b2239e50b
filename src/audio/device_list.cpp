#include "audio/device_list.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <optional>
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

// "USB" of "CARD=USB", or nothing when key is not what the text starts with.
std::optional<std::string_view> Value(std::string_view text, std::string_view key) {
  if (!text.starts_with(key)) {
    return std::nullopt;
  }
  return text.substr(key.size());
}

}  // namespace

std::string ShortDeviceName(const std::string& name) {
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos) {
    return name;
  }
  const std::string interface = name.substr(0, colon + 1);
  const std::string_view args = std::string_view(name).substr(colon + 1);
  const std::size_t comma = args.find(',');
  const auto card = Value(args.substr(0, comma), "CARD=");
  const auto device = comma == std::string_view::npos ? std::optional<std::string_view>("0")
                                                      : Value(args.substr(comma + 1), "DEV=");
  // Other arguments (SUBDEV, AES0 ...) have no short form.
  if (!card || !device || card->empty() || device->find_first_of(",=") != std::string_view::npos) {
    return name;
  }
  const std::string tail = *device == "0" ? "" : "," + std::string(*device);
  std::string shortName = interface + std::string(*card) + tail;
  if (shortName.size() > kMaxDeviceNameLength) {
    const int index = snd_card_get_index(std::string(*card).c_str());
    if (index >= 0) {
      shortName = interface + std::to_string(index) + tail;
    }
  }
  return shortName.size() < name.size() ? shortName : name;
}

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
    list.devices.push_back({ShortDeviceName(name), TakeHint(*hint, "DESC")});
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
    if (device.name.size() > kMaxDeviceNameLength) {
      text += "    (a name longer than 15 characters, which -D and c cannot take)\n";
    }
  }
  return text;
}
