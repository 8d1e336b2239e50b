// The simulated room as the standard ALSA tools see it, through a temporary
// HOME with an .asoundrc, with interleaved access and their own settings.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace {

const char* const kDevices =
    "pcm.room { type simroom }\n"
    "pcm.rtroom { type simroom clock realtime }\n"
    "pcm.mono { type simroom channels 1 rate 44100 }\n"
    "pcm.broken { type simroom loudness 11 }\n";

ProcessResult RunTool(const SimroomHome& home, const std::vector<std::string>& argv) {
  return RunProcess(argv, {.environment = home.environment(),
                           .workDir = home.path(),
                           .timeout = std::chrono::seconds(30)});
}

TEST(SimroomTools, ArecordRecordsAndAplayPlaysBackAtTheDevicesFormat) {
  const SimroomHome home(kDevices);
  struct Case {
    std::string device;
    std::vector<std::string> format;
    std::uintmax_t bytesPerSecond;
  } cases[] = {
      {"room", {"-f", "S24_3LE", "-c", "2", "-r", "48000"}, 48000 * 6},
      {"mono", {"-f", "S24_3LE", "-c", "1", "-r", "44100"}, 44100 * 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    std::vector<std::string> rec = {"arecord", "-q", "-D", c.device, "-t", "raw", "-d", "2"};
    rec.insert(rec.end(), c.format.begin(), c.format.end());
    rec.emplace_back("take.raw");
    const ProcessResult recorded = RunTool(home, rec);
    ASSERT_EQ(recorded.exitStatus, 0) << recorded.err;
    EXPECT_EQ(std::filesystem::file_size(home.path() / "take.raw"), 2 * c.bytesPerSecond);

    std::vector<std::string> play = {"aplay", "-q", "-D", c.device, "-t", "raw"};
    play.insert(play.end(), c.format.begin(), c.format.end());
    play.emplace_back("take.raw");
    const ProcessResult played = RunTool(home, play);
    EXPECT_EQ(played.exitStatus, 0) << played.err;
    EXPECT_EQ(played.err, "");
  }
}

TEST(SimroomTools, AplayThroughPlugConvertsOtherFormats) {
  const SimroomHome home(kDevices);
  std::ofstream(home.path() / "tone.raw", std::ios::binary) << std::string(44100 * 2, '\x10');
  const ProcessResult r = RunTool(home, {"aplay", "-q", "-D", "plug:room", "-t", "raw", "-f",
                                         "S16_LE", "-c", "1", "-r", "44100", "tone.raw"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
}

TEST(SimroomTools, AplayOnTheRealTimeClockTakesAsLongAsTheAudio) {
  const SimroomHome home(kDevices);
  std::ofstream(home.path() / "half.raw", std::ios::binary) << std::string(24000 * 6, '\0');
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r = RunTool(home, {"aplay", "-q", "-D", "rtroom", "-t", "raw", "-f",
                                         "S24_3LE", "-c", "2", "-r", "48000", "half.raw"});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_GE(took.count(), 0.5) << "drain waits for the last period";
}

TEST(SimroomTools, UnknownKeyIsNamedAndTheOpenFails) {
  const SimroomHome home(kDevices);
  const ProcessResult r =
      RunTool(home, {"arecord", "-q", "-D", "broken", "-d", "1", "-f", "S24_3LE", "x.raw"});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("unknown key loudness"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Invalid argument"), std::string::npos) << r.err;
}

}  // namespace
