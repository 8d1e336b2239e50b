#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process_runner.h"
#include "setup/band_plan.h"

// Measurements from end to end: the real program, real ALSA and the
// simulated room, each case in a working directory of its own.
namespace {

constexpr int kSyncOut = 24032;
const char* const kDevice = "room";
const std::string kNotSaved = "The results above were not saved to sweep_out.txt";

std::string SyncLine(int syncIn) {
  return "Sync Out = " + std::to_string(kSyncOut) + " \t Sync In = " + std::to_string(syncIn) +
         " samples";
}

// Warnings a run may give; the notice about bands with too few cycles is
// expected on every default run and is not one of them.
void ExpectNoRunWarning(const std::string& err) {
  for (const char* warning : {"transfer", "sound device", "sync pulse", "full scale",
                              "sweep_out.txt", "input 2", "24000 Hz", "Cannot run"}) {
    EXPECT_EQ(err.find(warning), std::string::npos) << "unexpected warning: " << err;
  }
}

ProcessResult RunIn(const TempDir& work, const Room& room, const std::string& settings,
                    const std::vector<std::string>& launcher = {}) {
  return RunTonvale(room.Entry(kDevice), "c\n" + std::string(kDevice) + "\n" + settings,
                    work.path(), 60, launcher);
}

TEST(Run, DefaultRunPrintsEveryLineInOrderAndSavesTheReport) {
  TempDir work;
  const ProcessResult r = RunIn(work, Room{}, "r\nc\nx\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ExpectNoRunWarning(r.err);
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "progress bar drawn into a pipe";
  const std::size_t run = r.out.find("Running Test...\n");
  ASSERT_NE(run, std::string::npos) << r.out;
  EXPECT_TRUE(r.out.substr(0, run).ends_with("      'x' to exit\n"));

  // Every line from the run on. The band lines are the report's: how it prints
  // a plan's edges and the levels is the report's own test, and the plan is the
  // one the console lists.
  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 1U);
  ASSERT_EQ(reports[0].bands.size(), 31U);
  EXPECT_EQ(reports[0].bands.front().low, 18.0);
  EXPECT_EQ(reports[0].bands.back().high, 16175.0);
  EXPECT_TRUE(r.out.substr(run).starts_with(
      "Running Test...\nCh 2 (sync): Return Level = -6.0 dB\n" + SyncLine(kSyncOut + 300) +
      "\nAnalyzing data...\n" + reports[0].text +
      "Ch 1 (sweep): Return Level = -6.0 dB\nEnter 'c' to continue\n\nQ: 4 --- Bands: 31 --- "
      "Length: 10.0 sec\n"))
      << r.out.substr(run);
  EXPECT_TRUE(r.out.ends_with("      'x' to exit\n"));
  EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"), reports[0].text);
  // A second program's run adds its report after the first one.
  const ProcessResult again = RunIn(work, Room{}, "r\nc\nx\n");
  ASSERT_EQ(FindReports(again.out).size(), 1U);
  EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"),
            reports[0].text + FindReports(again.out)[0].text);
}

// Runs that come to a report, with what they print, warn and save.
struct RunCase {
  const char* name;
  int loopDelay;
  const char* roomKeys;  // added to the flat test room
  const char* settings;  // console input before "r"
  int syncIn;            // 0: not checked
  const char* printed;   // on standard output
  const char* warning;   // on standard error; nullptr: no warning about the run
  bool saved;            // the report went into sweep_out.txt
};

class Completed : public testing::TestWithParam<RunCase> {};

TEST_P(Completed, PrintsWarnsAndSaves) {
  const RunCase& c = GetParam();
  TempDir work;
  Room room;
  room.loopDelay = c.loopDelay;
  room.extra = c.roomKeys;
  const ProcessResult r = RunIn(work, room, std::string(c.settings) + "r\nc\nx\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_FALSE(r.timedOut);
  if (c.warning == nullptr) {
    ExpectNoRunWarning(r.err);
  } else {
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    // One cause, one warning; the notice about unresolved bands aside.
    int warnings = 0;
    for (const std::string& line : SplitLines(r.err)) {
      warnings += line.starts_with("Warning:") && line.find("cycles of") == std::string::npos;
    }
    EXPECT_LE(warnings, 1) << r.err;
  }
  if (c.syncIn != 0) {
    EXPECT_NE(r.out.find(SyncLine(c.syncIn) + "\nAnalyzing data...\n"), std::string::npos) << r.out;
  }
  EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_TRUE(r.out.ends_with("      'x' to exit\n"));
  if (c.saved) {
    EXPECT_EQ(ReadWholeFile(work.path() / "sweep_out.txt"), reports[0].text);
  } else {
    EXPECT_FALSE(std::filesystem::exists(work.path() / "sweep_out.txt"));
    EXPECT_NE(r.err.find(kNotSaved), std::string::npos) << r.err;
  }
}

const char* const kSilentSweep = "Ch 1 (sweep): Return Level = -inf dB\n";
const char* const kNoSync = "Check the cable from output 2 to input 2";
const char* const kXrun =
    "Warning: the transfer was disturbed (1 underrun or overrun); at least 1 period of 21.3 ms of "
    "the recording was lost or misplaced";

INSTANTIATE_TEST_SUITE_P(
    Rooms, Completed,
    testing::Values(
        RunCase{"NothingSwept", 0, "", "t 0\n", kSyncOut, "1\t18\t22\t-144.0\n2\t22\t27\t-144.0\n",
                "Note: a sweep of 0 seconds", true},
        RunCase{"LongestFoundDelay", 16351, "", "t 0\n", kSyncOut + 16351, kSilentSweep,
                "Note: a sweep of 0 seconds", true},
        RunCase{"ShortSweep", 1055, "", "t 0.7\n", kSyncOut + 1055, "", nullptr, true},
        RunCase{"OtherPeriod", 777, "period_frames 940", "t 0.7\n", kSyncOut + 777,
                "Driver did not return requested period size.\nRunning Test...\n", nullptr, true},
        RunCase{"LoudButClean", 300, "gain_db 5.9", "t 1\n", kSyncOut + 300,
                "Ch 1 (sweep): Return Level = -0.1 dB\n", nullptr, true},
        RunCase{"Clipped", 300, "gain_db 12.0", "", kSyncOut + 300,
                "Ch 1 (sweep): Return Level = 0.0 dB\n", "Lower the input gain", true},
        RunCase{"Underrun", 300, "xrun_playback_period 100", "", kSyncOut + 300, "", kXrun, true},
        RunCase{"Overrun", 300, "xrun_capture_period 200", "", kSyncOut + 300, "", kXrun, true},
        RunCase{"DeviceGone", 300, "gone_after_period 50", "", 0, "",
                "Warning: the sound device failed while writing to the device (No such device)",
                false},
        RunCase{"NoCable", 300, "cable false", "", 0, "Sync In = 0 samples", kNoSync, false},
        RunCase{"NoiseWithoutPulse", 300, "cable false sync_noise_db -60 seed 1", "t 1\n", 0, "",
                kNoSync, false},
        RunCase{"NoiseWithoutPulseOtherSeed", 300, "cable false sync_noise_db -60 seed 4", "t 1\n",
                0, "", kNoSync, false},
        RunCase{"LoudNoiseWithoutPulse", 300, "cable false sync_noise_db -30 seed 3", "t 1\n", 0,
                "", kNoSync, false},
        RunCase{"PulseInNoise", 300, "sync_noise_db -60", "t 1\n", kSyncOut + 300, "", nullptr,
                true},
        RunCase{"PulseEarly", 300, "capture_late 400", "t 1\n", kSyncOut - 100, "", nullptr, true},
        RunCase{"SamplesDropped", 300, "slip_at_frame 60000 slip_frames 3", "t 1\n", kSyncOut + 300,
                "", "Warning: the recording lost 3 samples", false},
        RunCase{"SampleRepeated", 300, "slip_at_frame 60000 slip_frames -1", "t 1\n",
                kSyncOut + 300, "", "Warning: the recording gained 1 sample", false},
        RunCase{"InputsSwapped", 300, "swap_inputs true", "t 1\n", 0, "", "the inputs look swapped",
                false},
        RunCase{"AboveNyquist", 300, "", "q 2\nb 20\nt 2\n", kSyncOut + 300,
                "20\t39226\t58839\t-144.0\n", "bands 18-20 reach above 24000 Hz", true}),
    [](const testing::TestParamInfo<RunCase>& p) { return p.param.name; });

// Settings the console shows but no sweep can measure: "r" says which to
// change and returns to the menu without playing or waiting.
TEST(Run, UnmeasurablePlansAreNotPlayed) {
  const struct {
    const char* settings;
    const char* refusal;
  } kCases[] = {
      {"q -4\n", "with a negative Q"}, {"f -100\n", "below 1 Hz"}, {"f 0.5\n", "below 1 Hz"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.settings);
    TempDir work;
    const ProcessResult r = RunIn(work, Room{}, std::string(c.settings) + "r\nx\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_NE(r.err.find("Cannot run: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Running Test"), std::string::npos);
    EXPECT_EQ(r.out.find("Enter 'c' to continue"), std::string::npos);
  }
}

// Set-up failures end the program: one message on the stream users know it
// from, a hint on standard error where one helps, exit status 1.
struct FatalCase {
  const char* name;
  const char* roomKeys;
  const char* device;   // the name typed at the "c" prompt
  const char* message;  // the whole message, or its start up to ": " and the device's reason
  bool onStdout;
  const char* hint;  // nullptr: none
};

class FatalSetUp : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalSetUp, EndsTheProgramWithOneMessage) {
  const FatalCase& c = GetParam();
  TempDir work;
  Room room;
  room.extra = c.roomKeys;
  const ProcessResult r =
      RunTonvale(room.Entry(kDevice), std::string("c\n") + c.device + "\nr\nc\nx\n", work.path());
  EXPECT_EQ(r.exitStatus, 1);
  const std::string message = c.message;
  const std::string& stream = c.onStdout ? r.out : r.err;
  const std::size_t at = stream.find(message);
  ASSERT_NE(at, std::string::npos) << stream;
  const std::string line = stream.substr(at, stream.find('\n', at) + 1 - at);
  EXPECT_TRUE(message.ends_with(": ") ? line.size() > message.size() + 1 : line == message + "\n")
      << line;
  const std::vector<std::string> errLines = SplitLines(r.err);
  if (c.hint == nullptr) {
    EXPECT_EQ(r.err.find("Hint:"), std::string::npos) << r.err;
  } else {
    ASSERT_FALSE(errLines.empty());
    EXPECT_TRUE(errLines.back().starts_with("Hint: ")) << r.err;
    EXPECT_NE(errLines.back().find(c.hint), std::string::npos) << r.err;
  }
  EXPECT_EQ(r.out.find("Running Test..."), std::string::npos);
  EXPECT_TRUE(c.onStdout || r.out.ends_with("      'x' to exit\n")) << r.out;
  EXPECT_FALSE(std::filesystem::exists(work.path() / "sweep_out.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Device, FatalSetUp,
    testing::Values(FatalCase{"NoSuchDevice", "", "nosuchdevice",
                              "Playback device could not be opened: No such file or directory",
                              false, "aplay -l"},
                    FatalCase{"PlaybackBusy", "fail_open \"playback\"", kDevice,
                              "Playback device could not be opened: ", false, "Close it"},
                    FatalCase{"PlaybackFormat", "refuse_format \"playback\"", kDevice,
                              "Problem setting playback format: ", false, nullptr},
                    FatalCase{"PlaybackInstall", "fail_hw_params \"playback\"", kDevice,
                              "Problem setting playback parameters: ", false, nullptr},
                    FatalCase{"CaptureBusy", "fail_open \"capture\"", kDevice,
                              "unable to open pcm record device: ", false, "Close it"},
                    FatalCase{"CaptureFormat", "refuse_format \"capture\"", kDevice,
                              "Problem setting recording format: ", false, nullptr},
                    FatalCase{"CaptureInstall", "fail_hw_params \"capture\"", kDevice,
                              "Could not set record hardware parameters: ", true, nullptr},
                    FatalCase{"OtherRate", "rate 44100", kDevice,
                              "Problem setting playback rate: 48000 Hz requested, 44100 Hz granted",
                              false, "48000 Hz"},
                    FatalCase{"OtherRateThroughPlug", "rate 44100", "plug:room",
                              "Problem setting playback rate: 48000 Hz requested, 44100 Hz granted",
                              false, "48000 Hz"},
                    FatalCase{"OneChannel", "channels 1", kDevice,
                              "Problem setting playback channels to 2: ", false, nullptr}),
    [](const testing::TestParamInfo<FatalCase>& p) { return p.param.name; });

// The results file cannot take the report: the report is on the screen, the
// file is as it was, the user is told why, and the run still waits for "c".
TEST(Run, ResultsFileThatCannotTakeTheReport) {
  const bool root = geteuid() == 0;
  const std::filesystem::path setpriv = FindProgram("setpriv");
  const struct {
    const char* name;
    void (*prepare)(const std::filesystem::path& dir);
    const char* reason;
    std::vector<std::string> launcher;
  } kCases[] = {
      {"ReadOnlyDirectory",
       [](const std::filesystem::path& dir) {
         std::filesystem::permissions(
             dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
       },
       "Permission denied",
       // Root writes into read-only directories unless it gives up the right to.
       root ? std::vector<std::string>{setpriv.string(),
                                       "--bounding-set=-dac_override,-dac_read_search"}
            : std::vector<std::string>{}},
      {"NameTakenByDirectory",
       [](const std::filesystem::path& dir) {
         std::filesystem::create_directory(dir / "sweep_out.txt");
       },
       "Is a directory",
       {}},
      {"Fifo",
       [](const std::filesystem::path& dir) {
         ASSERT_EQ(mkfifo((dir / "sweep_out.txt").c_str(), 0600), 0);
       },
       "it is not a regular file",
       {}},
      {"Device",
       [](const std::filesystem::path& dir) {
         std::filesystem::create_symlink("/dev/full", dir / "sweep_out.txt");
       },
       "it is not a regular file",
       {}},
      {"OverTheSizeLimit",
       [](const std::filesystem::path& dir) {
         std::ofstream(dir / "sweep_out.txt") << std::string(900, '#');
       },
       "File too large",
       {"sh", "-c", "ulimit -f 1 && exec \"$0\""}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (!c.launcher.empty() && c.launcher[0].empty()) continue;  // needs setpriv as root
    TempDir work;
    c.prepare(work.path());
    const std::filesystem::path file = work.path() / "sweep_out.txt";
    const bool regular = std::filesystem::is_regular_file(file);
    const std::string before = regular ? ReadWholeFile(file) : "";
    const ProcessResult r = RunTonvale(Room{}.Entry(kDevice), "c\nroom\nt\n0\nr\nx\nc\nx\n",
                                       work.path(), 20, c.launcher);
    std::filesystem::permissions(work.path(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(r.timedOut);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find(std::string("sweep_out.txt: ") + c.reason), std::string::npos) << r.err;
    EXPECT_EQ(FindReports(r.out).size(), 1U);
    if (regular) {
      EXPECT_EQ(ReadWholeFile(file), before) << "half a report left in the file";
    }
    // "x" inside the wait does not leave it; the prompt comes again.
    EXPECT_NE(r.out.find("Enter 'c' to continue\nEnter 'c' to continue\n"), std::string::npos);
  }
}

// Someone watching a terminal sees the recording advance; the bar is wiped
// before the results are printed.
TEST(Run, ProgressBarOnATerminal) {
  const std::filesystem::path script = FindProgram("script");
  if (script.empty()) GTEST_SKIP() << "needs script for a terminal";
  TempDir work;
  std::ofstream(work.path() / "input.txt") << "c\nroom\nt\n0\nr\nc\nx\n";
  const SimroomHome home(Room{}.Entry(kDevice));
  const ProcessResult r =
      RunProcess({script.string(), "-qec", std::string(TONVALE_EXE) + " < input.txt", "/dev/null"},
                 {.environment = home.environment(), .workDir = work.path()});
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const std::size_t full = r.out.find("########] 100%");
  const std::size_t results = r.out.find("Ch 2 (sync)");
  ASSERT_NE(full, std::string::npos) << r.out;
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
  // 1000 seconds of sweep need 1.7 GB, far over the limit; 0 seconds fit.
  const ProcessResult r = RunIn(work, Room{}, "t\n1000\nr\nt\n0\nr\nc\nx\n",
                                {"sh", "-c", "ulimit -v 300000 && exec \"$0\""});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Not enough memory for a sweep of this length"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Running Test..."), r.out.rfind("Running Test...")) << "played twice";
  EXPECT_LT(r.out.find("Length: 1000.0 sec"), r.out.find("Running Test..."));
  EXPECT_EQ(FindReports(r.out).size(), 1U);
}

// A device that keeps hardware time, granting periods other than the one
// asked for: with the playback queue primed, the sweep goes through without
// a single underrun or overrun, and the table matches the usual period's.
// Both streams on one pipe show the table before the warnings.
TEST(Run, RealTimeDeviceWithAnyPeriodRunsWithoutXruns) {
  std::vector<BandLine> reference;
  for (const char* keys : {"", "period_frames 940", "period_frames 2048", "period_frames 4096"}) {
    SCOPED_TRACE(keys);
    TempDir work;
    Room room;
    room.clock = "realtime";
    room.extra = keys;
    const ProcessResult r = RunIn(work, room, "t\n3\nr\nc\nx\n", {"sh", "-c", "exec \"$0\" 2>&1"});
    ASSERT_EQ(r.exitStatus, 0) << r.out;
    ExpectNoRunWarning(r.out);
    // The streams start a few frames apart on a clocked device; the pulse
    // measures the lag as it is, within one period of the cable's.
    int syncIn = 0;
    const std::size_t at = r.out.find("Sync In = ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "Sync In = %d", &syncIn), 1);
    EXPECT_LE(syncIn - kSyncOut, 300);
    EXPECT_GT(syncIn - kSyncOut, 300 - 4096);
    EXPECT_LT(r.out.find("Ch 1 (sweep): Return Level"), r.out.find("Warning: bands 1-"));
    const std::vector<PrintedReport> reports = FindReports(r.out);
    ASSERT_EQ(reports.size(), 1U);
    if (reference.empty()) {
      reference = reports[0].bands;
      continue;
    }
    ASSERT_EQ(reports[0].bands.size(), reference.size());
    for (std::size_t b = 0; b < reference.size(); ++b) {
      // The lowest bands hold too few cycles of a short sweep to compare.
      if (b >= 10) {
        EXPECT_NEAR(reports[0].bands[b].level, reference[b].level, 0.2) << "band " << b + 1;
      }
    }
  }
}

// The command line through the real program: what it prints where, and its
// exit status; nothing is measured on a bad one.
TEST(CommandLine, OptionsOfTheProgram) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* out;  // expected at the start of standard output
    const char* err;  // expected in standard error
  } kCases[] = {
      {{"--version"}, 0, "Tonvale 1.00\n", ""},
      {{"-h"}, 0, "Usage: tonvale", ""},
      {{"--bogus"}, 2, "", "unknown option"},
      {{"-m", "no-such-file.txt"}, 2, "", "no-such-file.txt"},
      {{"--eq"}, 2, "", "add --save DIR"},
      // Every device that plays and records, its description's lines indented; "null" is none.
      {{"-l"}, 0, "room\nlab\n    A room\n    Second line\n", ""},
      {{"-D", "room"}, 0, "//////", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args[0]);
    TempDir work;
    const SimroomHome home(
        Room{}.Entry(kDevice) +
        "pcm.!null { type simroom hint { show on description \"Discards everything\" } }\n"
        "pcm.lab { type simroom hint { show on description \"A room\nSecond line\" } }\n");
    std::vector<std::string> argv = {TONVALE_EXE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunProcess(
        argv, {.input = "r\nc\nx\n", .environment = home.environment(), .workDir = work.path()});
    EXPECT_EQ(r.exitStatus, c.status) << r.err;
    EXPECT_TRUE(r.out.starts_with(c.out)) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    // Only the run started with a device measures, and on that device.
    EXPECT_EQ(std::filesystem::exists(work.path() / "sweep_out.txt"),
              c.args[0] == "-D" && c.status == 0);
  }
}

// A calibration file takes the microphone's response out of every band
// before the 0 dB reference is chosen: a flat +6 dB leaves the table as it
// was, +6 dB above 1 kHz lowers the bands there by 6 dB.
TEST(CommandLine, MicrophoneCalibration) {
  const auto measure = [](const std::string& calibration) {
    TempDir work;
    std::vector<std::string> launcher;
    if (!calibration.empty()) {
      std::ofstream(work.path() / "mic.txt") << calibration;
      launcher = {"sh", "-c", "exec \"$0\" --mic-cal mic.txt"};
    }
    const ProcessResult r = RunIn(work, Room{}, "r\nc\nx\n", launcher);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<PrintedReport> reports = FindReports(r.out);
    return reports.empty() ? std::vector<BandLine>{} : reports[0].bands;
  };
  const std::vector<BandLine> plain = measure("");
  const std::vector<BandLine> flat = measure("\"Sens Factor =-1.23dB, SERNO: 1\"\n10 6\n30000 6\n");
  const std::vector<BandLine> treble = measure("10,0\n999,0\n1001,6\n30000,6\n");
  ASSERT_EQ(plain.size(), 31U);
  ASSERT_EQ(flat.size(), 31U);
  ASSERT_EQ(treble.size(), 31U);
  for (std::size_t b = 10; b < plain.size(); ++b) {
    SCOPED_TRACE(plain[b].number);
    EXPECT_NEAR(flat[b].level, plain[b].level, 0.05);
    if (plain[b].high <= 999.0 || plain[b].low >= 1001.0) {  // the band at 1 kHz gets part of it
      EXPECT_NEAR(treble[b].level, plain[b].level - (plain[b].low >= 1001.0 ? 6.0 : 0.0), 0.05);
    }
  }
}

}  // namespace
