#include "audio/device_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "process_runner.h"

namespace {

// Points this process's ALSA at a configuration of its own, and back.
class ScopedAlsaConfigPath {
 public:
  explicit ScopedAlsaConfigPath(const std::string& path) {
    if (const char* old = std::getenv("ALSA_CONFIG_PATH")) old_ = old;
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  }
  ~ScopedAlsaConfigPath() {
    if (old_) {
      setenv("ALSA_CONFIG_PATH", old_->c_str(), 1);
    } else {
      unsetenv("ALSA_CONFIG_PATH");
    }
  }
  ScopedAlsaConfigPath(const ScopedAlsaConfigPath&) = delete;
  ScopedAlsaConfigPath& operator=(const ScopedAlsaConfigPath&) = delete;

 private:
  std::optional<std::string> old_;
};

TEST(DeviceList, ListsTheDevicesThatPlayAndRecordWithTheirDescriptions) {
  // Devices limited to one direction are told apart only on real cards (by
  // their device_input/device_output hints), so this room cannot show them.
  const SimroomHome home(
      "pcm.room { type simroom hint { show on description \"A room\nSecond line\" } }\n"
      "pcm.null { type simroom hint { show on description \"Discards everything\" } }\n"
      "pcm.hidden { type simroom }\n"
      "pcm.rt { type simroom clock realtime hint { show on description \"Real time\" } }\n");
  const ScopedAlsaConfigPath config((home.path() / ".asoundrc").string());
  const SoundDeviceList list = ListDuplexDevices();
  ASSERT_EQ(list.error, "");
  EXPECT_EQ(FormatDeviceList(list.devices),
            "room\n    A room\n    Second line\nrt\n    Real time\n");
}

}  // namespace
