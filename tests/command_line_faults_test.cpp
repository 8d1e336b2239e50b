#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "audio/device_list.h"
#include "process_runner.h"

// The program's start and end through the real program: a mistake anywhere
// on the line, files and values it must refuse, the memory it checks for,
// an output that takes nothing, device names it offers and what to do when
// one fails.
namespace {

TEST(CommandLineFaults, StatusAndMessageOfEachEnd) {
  const struct {
    std::string command;  // in sh; the program is "$0"
    const char* input;
    int status;
    const char* err;  // in standard error
    const char* out;  // in standard output
  } kCases[] = {
    {"\"$0\" --version --bogus", "", 2, "unknown option '--bogus'", ""},
    {"\"$0\" --eq-tilt -1e300 --save out", "", 2, "from -2 to 2", ""},
    {"\"$0\" --save /dev/null/runs", "r\nc\nx\n", 2, "/dev/null/runs: Not a directory", ""},
    {"\"$0\" --version > /dev/full", "", 4, "could not write standard output: No space", ""},
    {"\"$0\" -D room > /dev/full", "r\nc\nx\n", 4, "could not write standard output", ""},
    {"\"$0\" -D nosuch", "r\nx\n", 1, "then start tonvale again with one of their names after -D",
     ""},
    {"\"$0\" -l", "", 0, "", "averyveryverylongroom\n    Long\n    (a name longer than 15"},
    // Microphone files: the mark must not take the first of two points.
    {"printf '\\357\\273\\27720 3\\n20000 3\\n' > m && \"$0\" -m m", "x\n", 0, "", ""},
    {"printf '20 1,5\\n20000 0\\n' > m && \"$0\" -m m", "", 2, "m line 1: a decimal comma", ""},
    {"printf '20 0\\n90 -150\\n2e4 0\\n' > m && \"$0\" -m m", "", 2, "m line 2: -150 dB lies", ""},
    {"printf '20 0\\n90 1e308\\n2e4 0\\n' > m && \"$0\" -m m", "", 2, "line 2: 1e+308 dB", ""},
    {"mkfifo m && \"$0\" -m m", "", 2, "m: not a regular file", ""},
    {"\"$0\" -m /dev/zero", "", 2, "/dev/zero: not a regular file", ""},
    {"head -c 2000000 /dev/zero > m && \"$0\" -m m", "", 2, "m: larger than 1 MiB", ""},
#if !defined(__SANITIZE_ADDRESS__)  // which cannot run under a memory limit
    // What the memory check lets through is analysed to the end.
    {"ulimit -v 400000 && \"$0\" -D room", "t\n200\nr\nc\nx\n", 0, "Microphone about", ""},
    {"ulimit -v 400000 && \"$0\" -D room", "t\n280\nr\nc\nx\n", 0, "nothing was played", ""},
#endif
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.command);
    TempDir work;
    const ProcessResult r = RunTonvale(
        Room{}.Entry("room") +
            "pcm.averyveryverylongroom { type simroom hint { show on description \"Long\" } }\n",
        c.input, work.path(), 20, {"sh", "-c", c.command});
    EXPECT_EQ(r.exitStatus, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
  }
}

// ALSA's names of a card's devices, as -D and c take them.
TEST(CommandLineFaults, DeviceNamesShortEnoughToType) {
  const std::pair<const char*, const char*> kCases[] = {
      {"hw:CARD=USB,DEV=0", "hw:USB"},
      {"plughw:CARD=USB,DEV=1", "plughw:USB,1"},
      {"sysdefault:CARD=PCH", "sysdefault:PCH"},
      {"front:CARD=PCH,DEV=0,SUBDEV=1", "front:CARD=PCH,DEV=0,SUBDEV=1"},
      {"pulse", "pulse"},
  };
  for (const auto& [hint, name] : kCases) EXPECT_EQ(ShortDeviceName(hint), name);
}

}  // namespace
