#pragma once

// What one simulated device holds between its playback and its capture
// stream: everything played, already passed through the room, until the
// capture side picks it up. The two streams of one process share it by the
// device's name.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace simroom {

struct PlayedFrame {
  std::uint64_t key = 0;   // which run and frame this slot holds; 0: never written
  float room = 0.0F;       // output 1 after the room, before the microphone's noise
  std::int32_t cable = 0;  // output 2 as played
};

class Device {
 public:
  explicit Device(std::string name) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  // A new playback run: frames are counted from 0 again.
  void BeginPlaybackRun() {
    ++playEpoch_;
    playStarted_ = false;
  }
  void PlaybackStarted(std::int64_t nowNs) {
    playStarted_ = true;
    playStartNs_ = nowNs;
  }
  bool playbackStarted() const { return playStarted_; }
  std::int64_t playbackStartNs() const { return playStartNs_; }

  void Store(std::int64_t frame, float room, std::int32_t cable);
  // The frame of the current playback run, or nullptr when it was never written.
  const PlayedFrame* Find(std::int64_t frame) const;

  bool gone = false;
  int users = 0;

 private:
  static constexpr std::int64_t kRingFrames = std::int64_t{1} << 20;  // about 22 s at 48 kHz
  struct FreeDeleter {
    void operator()(PlayedFrame* p) const { std::free(p); }
  };
  std::uint64_t Key(std::int64_t frame) const {
    return (playEpoch_ << 40) | static_cast<std::uint64_t>(frame + 1);
  }

  std::string name_;
  std::unique_ptr<PlayedFrame[], FreeDeleter> ring_;
  std::uint64_t playEpoch_ = 0;
  bool playStarted_ = false;
  std::int64_t playStartNs_ = 0;
};

// Every device state and stream of this process is guarded by this one lock.
std::mutex& DeviceLock();
// The device of that name, made on first use; Release drops it with its last user.
Device* AcquireDevice(const std::string& name);
void ReleaseDevice(Device* device);

}  // namespace simroom
