#include "device.h"

#include <algorithm>
#include <vector>

namespace simroom {

namespace {
std::vector<std::unique_ptr<Device>>& Devices() {
  static std::vector<std::unique_ptr<Device>> devices;
  return devices;
}
}  // namespace

std::mutex& DeviceLock() {
  static std::mutex lock;
  return lock;
}

void Device::Store(std::int64_t frame, float room, std::int32_t cable) {
  if (frame < 0 || frame >= (std::int64_t{1} << 40)) {
    return;
  }
  if (!ring_) {
    // calloc: the pages stay untouched, and cost nothing, until a run reaches them.
    ring_.reset(static_cast<PlayedFrame*>(
        std::calloc(static_cast<std::size_t>(kRingFrames), sizeof(PlayedFrame))));
    if (!ring_) {
      return;
    }
  }
  PlayedFrame& slot = ring_[static_cast<std::size_t>(frame & (kRingFrames - 1))];
  slot.key = Key(frame);
  slot.room = room;
  slot.cable = cable;
}

const PlayedFrame* Device::Find(std::int64_t frame) const {
  if (!ring_ || frame < 0 || frame >= (std::int64_t{1} << 40)) {
    return nullptr;
  }
  const PlayedFrame& slot = ring_[static_cast<std::size_t>(frame & (kRingFrames - 1))];
  return slot.key == Key(frame) ? &slot : nullptr;
}

Device* AcquireDevice(const std::string& name) {
  auto& devices = Devices();
  auto it = std::find_if(devices.begin(), devices.end(),
                         [&](const auto& d) { return d->name() == name; });
  if (it == devices.end()) {
    devices.push_back(std::make_unique<Device>(name));
    it = devices.end() - 1;
  }
  ++(*it)->users;
  return it->get();
}

void ReleaseDevice(Device* device) {
  if (--device->users > 0) {
    return;
  }
  auto& devices = Devices();
  std::erase_if(devices, [&](const auto& d) { return d.get() == device; });
}

}  // namespace simroom
