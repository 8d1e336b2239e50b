#include "audio/device_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "process_runner.h"

namespace {

TEST(DeviceList, ListsTheDevicesThatPlayAndRecordWithTheirDescriptions) {
  // Devices limited to one direction are told apart only on real cards (by
  // their device_input/device_output hints), so this room cannot show them.
  const SimroomHome home(
      "pcm.room { type simroom hint { show on description \"A room\nSecond line\" } }\n"
      "pcm.null { type simroom hint { show on description \"Discards everything\" } }\n"
      "pcm.hidden { type simroom }\n"
      "pcm.rt { type simroom clock realtime hint { show on description \"Real time\" } }\n");
  const char* old = std::getenv("ALSA_CONFIG_PATH");
  const std::string saved = old != nullptr ? old : "";
  setenv("ALSA_CONFIG_PATH", (home.path() / ".asoundrc").c_str(), 1);
  const SoundDeviceList list = ListDuplexDevices();
  old != nullptr ? setenv("ALSA_CONFIG_PATH", saved.c_str(), 1) : unsetenv("ALSA_CONFIG_PATH");
  ASSERT_EQ(list.error, "");
  EXPECT_EQ(FormatDeviceList(list.devices),
            "room\n    A room\n    Second line\nrt\n    Real time\n");
}

}  // namespace
