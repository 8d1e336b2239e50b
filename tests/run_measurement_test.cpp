#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "measurement/band_plan.h"
#include "run_harness.h"

// Measurements from end to end: the real program, real ALSA and the
// simulated room, each case in a working directory of its own.
namespace {

constexpr int kSyncOut = 24032;
const char* const kDeviceName = "room";

std::string SyncLine(int syncIn) {
  return "Sync Out = " + std::to_string(kSyncOut) + " \t Sync In = " + std::to_string(syncIn) +
         " samples";
}

// Warnings this program's run may print; the analysis's own notice about
// bands with too few cycles is expected on every default run and is not one
// of them.
const char* const kRunWarnings[] = {"transfer", "sound device", "sync pulse", "full scale",
                                    "sweep_out.txt"};

void ExpectNoRunWarning(const std::string& err) {
  for (const char* warning : kRunWarnings) {
    EXPECT_EQ(err.find(warning), std::string::npos) << "unexpected warning: " << err;
  }
}

std::string Format(const char* format, double a, double b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

TEST(Run, DefaultRunPrintsEveryLineInOrderAndSavesTheReport) {
  TempDir work;
  Room room;
  room.loopDelay = 300;
  const ProcessResult r = RunTonvale(room.Entry(kDeviceName), "c\nroom\nr\nc\nx\n", work.path());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ExpectNoRunWarning(r.err);
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "progress bar drawn into a pipe";

  const std::size_t run = r.out.find("Running Test...\n");
  ASSERT_NE(run, std::string::npos) << r.out;
  // Before the run only the console: its last line is the menu's.
  EXPECT_TRUE(r.out.substr(0, run).ends_with("      'x' to exit\n"));

  // Every line from the run on; a band line's level varies, its edges do not.
  BandPlan plan;
  (void)FindHighFreq(4.0, 31, 18.0, plan.low.data(), plan.high.data());
  std::vector<std::string> expected = {"Running Test...",
                                       "Ch 2 (sync): Return Level = -6.0 dB",
                                       SyncLine(kSyncOut + 300),
                                       "Analyzing data...",
                                       "Results:",
                                       "Band\tRange (Hz)\tdB"};
  for (std::size_t k = 0; k < 31; ++k) {
    expected.push_back(std::to_string(k + 1) + Format("\t%.0f\t%.0f\t", plan.low[k], plan.high[k]));
  }
  for (const char* line : {"Ch 1 (sweep): Return Level = -6.0 dB", "Enter 'c' to continue", "",
                           "Q: 4 --- Bands: 31 --- Length: 10.0 sec"}) {
    expected.emplace_back(line);
  }
  const std::vector<std::string> lines = SplitLines(r.out.substr(run));
  ASSERT_GE(lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (i < 6 || i >= 6 + 31) {
      EXPECT_EQ(lines[i], expected[i]) << i;
      continue;
    }
    EXPECT_TRUE(lines[i].starts_with(expected[i]))
        << lines[i] << " should start with " << expected[i];
    double level = 0.0;
    char tail = 0;
    EXPECT_EQ(std::sscanf(lines[i].c_str() + expected[i].size(), "%lf%c", &level, &tail), 1)
        << lines[i];
  }
  EXPECT_EQ(lines.back(), "      'x' to exit");

  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"), reports[0].text);

  // A second run, in a program started afresh, adds its report after the
  // first one and leaves the first as it was.
  const ProcessResult again =
      RunTonvale(room.Entry(kDeviceName), "c\nroom\nr\nc\nx\n", work.path());
  ASSERT_EQ(again.exitStatus, 0) << again.err;
  const std::vector<PrintedReport> second = FindReports(again.out);
  ASSERT_EQ(second.size(), 1U);
  EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"), reports[0].text + second[0].text);
}

// Runs that come through to a report, whatever the delay, length and period;
// a room the measurement cannot trust gets one warning on what to do.
struct CompletedCase {
  const char* name;
  Room room;
  const char* settings;  // console input before "r"
  int syncIn;
  const char* warning;  // nullptr: no warning about the run
  const char* printed;  // further text expected on standard output
  bool otherPeriod;     // the device grants a period other than 1024
};

Room MakeRoom(int loopDelay, const char* deviceKeys = "", bool cable = true, double gainDb = 0) {
  Room room;
  room.loopDelay = loopDelay;
  room.extra = deviceKeys;
  room.cable = cable;
  room.gainDb = gainDb;
  return room;
}

class CompletedRun : public testing::TestWithParam<CompletedCase> {};

TEST_P(CompletedRun, SyncFollowsTheLoopDelay) {
  const CompletedCase& c = GetParam();
  TempDir work;
  const ProcessResult r = RunTonvale(
      c.room.Entry(kDeviceName), std::string("c\nroom\n") + c.settings + "r\nc\nx\n", work.path());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  if (c.warning == nullptr) {
    ExpectNoRunWarning(r.err);
  } else {
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
  }
  const std::string notice = "Driver did not return requested period size.\nRunning Test...\n";
  EXPECT_EQ(r.out.find(notice) != std::string::npos, c.otherPeriod) << r.out;
  EXPECT_EQ(r.out.find("Running Test...\n"), r.out.rfind("Running Test...\n"));
  EXPECT_NE(r.out.find(SyncLine(c.syncIn) + "\nAnalyzing data...\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_EQ(reports[0].bands.size(), 31U);
  EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"), reports[0].text);
  if (std::string(c.settings) == "t\n0\n") {
    // Only the sync pulse was played: no band heard anything.
    for (const BandLine& band : reports[0].bands) EXPECT_EQ(band.level, -144.0) << band.number;
  }
}

const char* const kSilentSweep = "Ch 1 (sweep): Return Level = -inf dB\n";

INSTANTIATE_TEST_SUITE_P(
    Shapes, CompletedRun,
    testing::Values(
        CompletedCase{"NoDelay", MakeRoom(0), "t\n0\n", kSyncOut, nullptr, kSilentSweep, false},
        CompletedCase{"LongestFoundDelay", MakeRoom(16351), "t\n0\n", kSyncOut + 16351, nullptr,
                      kSilentSweep, false},
        CompletedCase{"ShortSweep", MakeRoom(1055), "t\n0.7\n", kSyncOut + 1055, nullptr, "",
                      false},
        CompletedCase{"Period940", MakeRoom(300, "period_frames 940"), "", kSyncOut + 300, nullptr,
                      "", true},
        CompletedCase{"Period940ShortSweep", MakeRoom(777, "period_frames 940"), "t\n0.7\n",
                      kSyncOut + 777, nullptr, "", true},
        CompletedCase{"NoCable", MakeRoom(300, "", false), "", 0,
                      "Check the cable from output 2 to input 2", "", false},
        CompletedCase{"ClippedMicrophone", MakeRoom(300, "", true, 12.0), "", kSyncOut + 300,
                      "Lower the input gain", "Ch 1 (sweep): Return Level = 0.0 dB\n", false}),
    [](const testing::TestParamInfo<CompletedCase>& param) { return param.param.name; });

// Set-up failures end the program: one message on the stream users know it
// from, exit status 1, and nothing of a run on standard output before it.
struct FatalCase {
  const char* name;
  const char* deviceKeys;
  const char* device;   // the name typed at the "c" prompt
  const char* message;  // the whole message, or its start up to ": " and the device's reason
  bool onStdout;
};

class FatalSetUp : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalSetUp, EndsTheProgramWithOneMessage) {
  const FatalCase& c = GetParam();
  TempDir work;
  Room room;
  room.extra = c.deviceKeys;
  const ProcessResult r = RunTonvale(room.Entry(kDeviceName),
                                     std::string("c\n") + c.device + "\nr\nc\nx\n", work.path());
  EXPECT_EQ(r.exitStatus, 1);
  const std::string& stream = c.onStdout ? r.out : r.err;
  const std::vector<std::string> lines = SplitLines(stream);
  ASSERT_FALSE(lines.empty());
  const std::string message = c.message;
  if (message.ends_with(": ")) {
    // The reason is the device's own and follows the operation.
    EXPECT_TRUE(lines.back().starts_with(message)) << stream;
    EXPECT_GT(lines.back().size(), message.size()) << "no reason given";
  } else {
    EXPECT_EQ(lines.back(), message) << stream;
  }
  EXPECT_TRUE(stream.ends_with("\n"));
  EXPECT_EQ(r.out.find("Running Test..."), std::string::npos);
  if (!c.onStdout) {
    EXPECT_TRUE(r.out.ends_with("      'x' to exit\n")) << r.out;
  }
  EXPECT_FALSE(std::filesystem::exists(work.path() / "sweep_out.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Device, FatalSetUp,
    testing::Values(FatalCase{"NoSuchDevice", "", "nosuchdevice",
                              "Playback device could not be opened: No such file or directory",
                              false},
                    FatalCase{"PlaybackOpen", "fail_open \"playback\"", kDeviceName,
                              "Playback device could not be opened: ", false},
                    FatalCase{"PlaybackFormat", "refuse_format \"playback\"", kDeviceName,
                              "Problem setting playback format: ", false},
                    FatalCase{"BothFormats", "refuse_format \"both\"", kDeviceName,
                              "Problem setting playback format: ", false},
                    FatalCase{"PlaybackInstall", "fail_hw_params \"playback\"", kDeviceName,
                              "Problem setting playback parameters: ", false},
                    FatalCase{"CaptureOpen", "fail_open \"capture\"", kDeviceName,
                              "unable to open pcm record device: ", false},
                    FatalCase{"CaptureFormat", "refuse_format \"capture\"", kDeviceName,
                              "Problem setting recording format: ", false},
                    FatalCase{"CaptureInstall", "fail_hw_params \"capture\"", kDeviceName,
                              "Could not set record hardware parameters: ", true},
                    FatalCase{"OtherRate", "rate 44100", kDeviceName,
                              "Problem setting playback rate: 48000 Hz requested, 44100 Hz granted",
                              false},
                    FatalCase{"OneChannel", "channels 1", kDeviceName,
                              "Problem setting playback channels to 2: ", false}),
    [](const testing::TestParamInfo<FatalCase>& param) { return param.param.name; });

// Faults during the transfer: the run goes on to the end and to the menu,
// and one warning tells the user to measure again.
struct DisturbedCase {
  const char* name;
  const char* deviceKeys;
  const char* warning;
  bool recordingWhole;  // the fault costs a few hundred frames, not the rest of the run
};

class DisturbedRun : public testing::TestWithParam<DisturbedCase> {};

TEST_P(DisturbedRun, WarnsOnceAndComesBackToTheMenu) {
  const DisturbedCase& c = GetParam();
  TempDir work;
  Room room;
  room.extra = c.deviceKeys;
  const ProcessResult r =
      RunTonvale(room.Entry(kDeviceName), "c\nroom\nr\nc\nx\n", work.path(), 30);
  EXPECT_FALSE(r.timedOut);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::size_t at = r.err.find(c.warning);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Warning: the", at + 1), std::string::npos) << "more than one warning";
  EXPECT_NE(r.err.find("epeat the measurement", at), std::string::npos) << r.err;
  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_TRUE(r.out.ends_with("      'x' to exit\n"));
  if (!c.recordingWhole) return;
  // In this flat room every band the sweep resolves reads 0 dB when the
  // streams stay aligned after the fault; streams restarted apart leave the
  // rest of the sweep silent or shifted.
  for (const BandLine& band : reports[0].bands) {
    if (band.low >= 200.0) {
      EXPECT_NEAR(band.level, 0.0, 0.5) << "band " << band.number;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Device, DisturbedRun,
    testing::Values(
        DisturbedCase{
            "Underrun", "xrun_playback_period 100",
            "Warning: the transfer was disturbed (1 underrun or overrun); at least 1 period ",
            true},
        DisturbedCase{
            "Overrun", "xrun_capture_period 200",
            "Warning: the transfer was disturbed (1 underrun or overrun); at least 1 period ",
            true},
        DisturbedCase{"Gone", "gone_after_period 50", "Warning: the sound device failed while",
                      false}),
    [](const testing::TestParamInfo<DisturbedCase>& param) { return param.param.name; });

// The results file cannot take the report: the report is on the screen, the
// user is told why it is not in the file, and the run still waits for "c".
struct UnwritableCase {
  const char* name;
  void (*prepare)(const std::filesystem::path& dir);
  const char* reason;
};

class UnwritableResults : public testing::TestWithParam<UnwritableCase> {};

TEST_P(UnwritableResults, SaysWhyAndStillWaitsForContinue) {
  const UnwritableCase& c = GetParam();
  std::vector<std::string> launcher;
  if (geteuid() == 0) {
    // Root writes into read-only directories unless it gives up the right to.
    const std::filesystem::path setpriv = FindProgram("setpriv");
    if (setpriv.empty()) GTEST_SKIP() << "needs setpriv as root";
    launcher = {setpriv.string(), "--bounding-set=-dac_override,-dac_read_search"};
  }
  TempDir work;
  c.prepare(work.path());
  const ProcessResult r = RunTonvale(Room{}.Entry(kDeviceName), "c\nroom\nt\n0\nr\nx\nc\nx\n",
                                     work.path(), 60, launcher);
  std::filesystem::permissions(work.path(), std::filesystem::perms::owner_all);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find(std::string("sweep_out.txt: ") + c.reason), std::string::npos) << r.err;
  EXPECT_EQ(FindReports(r.out).size(), 1U);
  // "x" inside the wait does not leave it; the prompt comes again.
  EXPECT_NE(r.out.find("Enter 'c' to continue\nEnter 'c' to continue\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnwritableResults,
    testing::Values(UnwritableCase{"ReadOnlyDirectory",
                                   [](const std::filesystem::path& dir) {
                                     std::filesystem::permissions(
                                         dir, std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_exec);
                                   },
                                   "Permission denied"},
                    UnwritableCase{"NameTakenByDirectory",
                                   [](const std::filesystem::path& dir) {
                                     std::filesystem::create_directory(dir / "sweep_out.txt");
                                   },
                                   "Is a directory"},
                    UnwritableCase{"DiskFull",
                                   [](const std::filesystem::path& dir) {
                                     std::filesystem::create_symlink("/dev/full",
                                                                     dir / "sweep_out.txt");
                                   },
                                   "No space left on device"}),
    [](const testing::TestParamInfo<UnwritableCase>& param) { return param.param.name; });

// Someone watching a terminal sees the recording advance; the bar is wiped
// before the results are printed.
TEST(Run, ProgressBarOnATerminal) {
  const std::filesystem::path script = FindProgram("script");
  if (script.empty()) GTEST_SKIP() << "needs script for a terminal";
  TempDir work;
  std::ofstream(work.path() / "input.txt") << "c\nroom\nt\n0\nr\nc\nx\n";
  const std::string command = std::string(TONVALE_EXE) + " < input.txt";
  const SimroomHome home(Room{}.Entry(kDeviceName));
  const ProcessResult r = RunProcess({script.string(), "-qec", command, "/dev/null"},
                                     {.environment = home.environment(), .workDir = work.path()});
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const std::size_t full = r.out.find("########] 100%");
  ASSERT_NE(full, std::string::npos) << r.out;
  const std::size_t results = r.out.find("Ch 2 (sync)");
  ASSERT_NE(results, std::string::npos);
  EXPECT_LT(full, results);
  EXPECT_EQ(r.out.substr(results - 1, 1), "\r") << "bar not wiped before the results";
}

// Memory the run cannot have: nothing is played, the user is told, and the
// next run with a shorter sweep works.
TEST(Run, RunWithoutMemoryForItsBuffersReturnsToTheMenu) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
  TempDir work;
  // 1000 seconds of sweep need 1.3 GB, far over the limit; 1 second fits.
  const ProcessResult r =
      RunTonvale(Room{}.Entry(kDeviceName), "c\nroom\nt\n1000\nr\nt\n0\nr\nc\nx\n", work.path(), 60,
                 {"sh", "-c", "ulimit -v 300000 && exec \"$0\""});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Not enough memory for a sweep of this length"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Running Test..."), r.out.rfind("Running Test...")) << "played twice";
  EXPECT_NE(r.out.find("Length: 0.0 sec"), std::string::npos);
  EXPECT_LT(r.out.find("Length: 1000.0 sec"), r.out.find("Running Test..."));
  EXPECT_EQ(FindReports(r.out).size(), 1U);
}

// A device that keeps hardware time: with the playback queue primed, a
// second of signal goes through without a single underrun or overrun.
TEST(Run, RealTimeDeviceRunsWithoutXruns) {
  TempDir work;
  Room room;
  room.clock = "realtime";
  const ProcessResult r =
      RunTonvale(room.Entry(kDeviceName), "c\nroom\nt\n0\nr\nc\nx\n", work.path());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ExpectNoRunWarning(r.err);
  // The two streams start a few frames apart on a clocked device; the
  // pulse measures the lag as it is, within one period of the cable's.
  int syncIn = 0;
  const std::size_t at = r.out.find("Sync In = ");
  ASSERT_NE(at, std::string::npos) << r.out;
  ASSERT_EQ(std::sscanf(r.out.c_str() + at, "Sync In = %d", &syncIn), 1);
  EXPECT_LE(syncIn - kSyncOut, 300);
  EXPECT_GT(syncIn - kSyncOut, 300 - 1024);
}

}  // namespace
