#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cookbook_biquad.h"
#include "process_runner.h"
#include "report/frd_file.h"

// Runs whose recording holds less than it should, measured from end to end on
// the simulated room: what they say, and what they keep.
namespace {

namespace fs = std::filesystem;

ProcessResult Measure(const fs::path& work, const Room& room, const std::string& settings,
                      const std::string& launch = "exec \"$0\"") {
  return RunTonvale(room.Entry("room"), "c\nroom\n" + settings + "r\nc\nx\n", work, 60,
                    {"sh", "-c", launch + " --save out --eq"});
}

struct FaultCase {
  const char* name;
  double gainDb;  // of the room, and its noise
  double noiseDb;
  const char* roomKeys;
  const char* settings;
  const char* launch;   // how the program is started
  const char* warning;  // on standard error; "" for none about the run
  bool appended;        // the table went into sweep_out.txt
  bool filesSaved;      // and the run's files into the save folder
};

class Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Faults, SayWhatCameBackAndKeepOnlyThat) {
  const FaultCase& c = GetParam();
#if defined(__SANITIZE_ADDRESS__)
  if (std::string(c.launch).starts_with("ulimit")) GTEST_SKIP() << "no memory limit under ASan";
#endif
  TempDir work;
  Room room;
  room.gainDb = c.gainDb;
  room.noiseDb = c.noiseDb;
  room.extra = c.roomKeys;
  const ProcessResult r = Measure(work.path(), room, c.settings, c.launch);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(FindReports(r.out).size(), 1U) << r.out;
  EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
  for (const char* wrong : {"slipped", "swapped", "Note:"}) {
    EXPECT_EQ(r.err.find(wrong), std::string::npos) << r.err;
  }
  EXPECT_EQ(fs::exists(work.path() / "sweep_out.txt"), c.appended);
  EXPECT_EQ(fs::exists(work.path() / "out" / "eq-simroom.conf"), c.filesSaved);
  EXPECT_EQ(fs::exists(work.path() / "out" / "run-001-ir.wav"), c.filesSaved);
  if (!c.filesSaved) return;
  // The room is flat at 0 dB: every point the response holds must say so.
  const FrdContents frd = ReadFrdFile(work.path() / "out" / "run-001.frd");
  ASSERT_GT(frd.points.size(), 100U);
  for (const ResponsePoint& p : frd.points) {
    EXPECT_TRUE(p.hz < 100.0 || std::abs(p.db) < 0.3) << p.db << " dB at " << p.hz << " Hz";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, Faults,
    testing::Values(
        FaultCase{"DeadMicrophone", -200.0, -60.0, "", "", "exec \"$0\"",
                  "Warning: no sweep came back on input 1", false, false},
        FaultCase{"NoiseOnLoopBackLost", 0.0, -200.0, "sync_noise_db -50 seed 1", "t\n1\n",
                  "exec \"$0\"", "", true, true},
        FaultCase{"NoiseOnLoopBackGained", 0.0, -200.0, "sync_noise_db -50 seed 2", "t\n1\n",
                  "exec \"$0\"", "", true, true},
        FaultCase{"LoopBackLate", 0.0, -200.0, "loop_delay 20000", "t\n1\n", "exec \"$0\"",
                  "within the 341 ms the program waits for it; it came back 417 ms after", false,
                  false},
        FaultCase{"SoundLate", 0.0, -200.0, "acoustic_delay 30000", "t\n1\n", "exec \"$0\"",
                  "the answer to the sweep above 14054 Hz was not recorded", true, true}),
    [](const testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

// The distance is the direct sound's onset: to the sample when the
// loudspeaker plays everything, within 0.35 m when it plays only the bass.
TEST(Distance, FromTheDirectSoundsOnset) {
  const std::vector<FilterSpec> subwoofer = {
      {"lowpass", 120.0, 0.707}, {"lowpass", 120.0, 0.707}, {"highpass", 30.0, 0.707}};
  const std::vector<FilterSpec> mildRoom = {{"highpass", 45.0, 0.707},
                                            {"lowpass", 14000.0, 0.707},
                                            {"peaking", 110.0, 2.0, 5.0},
                                            {"peaking", 2800.0, 1.2, -3.0}};
  const struct {
    std::vector<FilterSpec> filters;
    int delay;
    int tolerance;
  } kCases[] = {{{}, 432, 1},
                {mildRoom, 144, 1},
                {subwoofer, 432, 49},
                {{{"lowpass", 120.0, 0.707}}, 144, 49}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.delay);
    TempDir work;
    Room room;
    room.acousticDelay = c.delay;
    room.filters = FilterEntries(c.filters);
    const ProcessResult r = Measure(work.path(), room, "");
    int samples = -1;
    const std::size_t at = r.err.find(" ms, ");
    ASSERT_NE(at, std::string::npos) << r.err;
    ASSERT_EQ(std::sscanf(r.err.c_str() + at, " ms, %d samples", &samples), 1);
    EXPECT_LE(std::abs(samples - c.delay), c.tolerance);
  }
}

// A bass mode as narrow as a room's own is cut to within half a dB, worked
// out from the room's and the exported filters' cookbook formulas, and the
// run says honestly what it left.
TEST(Correction, NarrowBassModesAreCutAndTheRestIsShown) {
  const std::regex filter(R"(Fc (\S+) Hz Gain (\S+) dB Q (\S+))");
  for (const double q : {8.0, 15.0, 25.0}) {
    SCOPED_TRACE(q);
    const FilterSpec mode{"peaking", 40.0, q, 10.0};
    TempDir work;
    Room room;
    room.filters = FilterEntries({mode});
    const ProcessResult r = Measure(work.path(), room, "");
    std::vector<FilterSpec> filters;
    const std::string apo = ReadWholeFile(work.path() / "out" / "eq-equalizerapo.txt");
    for (std::sregex_iterator m(apo.begin(), apo.end(), filter), end; m != end; ++m) {
      filters.push_back({"peaking", std::stod((*m)[1]), std::stod((*m)[3]), std::stod((*m)[2])});
    }
    ASSERT_FALSE(filters.empty()) << r.err;
    double left = -100.0;
    for (double hz = 20.0; hz <= 500.0; hz *= 1.001) {
      double db = 20.0 * std::log10(Design(mode).Magnitude(hz));
      for (const FilterSpec& f : filters) db += 20.0 * std::log10(Design(f).Magnitude(hz));
      left = std::max(left, db);
    }
    EXPECT_LT(left, 0.5);
    double stated = -100.0;
    ASSERT_EQ(std::sscanf(r.err.c_str() + r.err.find("largest peak left"), "largest peak left %lf",
                          &stated),
              1);
    EXPECT_NEAR(stated, left, 0.3);
  }
}

}  // namespace
