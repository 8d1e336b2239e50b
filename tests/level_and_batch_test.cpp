#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "process_runner.h"
#include "report/frd_file.h"

// Absolute level (the calibrator, dB SPL responses), the level check, and
// runs for scripts: batches, exit statuses, JSON results. End to end through
// the simulated room.
namespace {

namespace fs = std::filesystem;

ProcessResult Tonvale(const TempDir& work, const Room& room, const std::string& options,
                      const std::string& input = "") {
  return RunTonvale(room.Entry("room"), input, work.path(), 120,
                    {"sh", "-c", "exec \"$0\" -D room " + options});
}

TEST(SplCalibration, CalibratorLevelComesBackWithinFiveHundredthsOrIsRefused) {
  struct Case {
    double hz;
    double levelDbfs;
    int exitStatus;
  };
  const std::vector<Case> cases{{1000, -50, 0}, {1000, -20, 0}, {1000, -3, 0}, {1020, -20, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hz + c.levelDbfs);
    TempDir work;
    Room room;
    room.noiseDb = -100.0;
    room.extra = "calibrator { hz " + std::to_string(c.hz) + " level_dbfs " +
                 std::to_string(c.levelDbfs) + " }";
    const ProcessResult r = Tonvale(work, room, "--calibrate 94");
    ASSERT_EQ(r.exitStatus, c.exitStatus) << r.err;
    const fs::path file = work.path() / "spl-calibration.txt";
    ASSERT_EQ(fs::exists(file), c.exitStatus == 0) << r.err;
    if (c.exitStatus == 0) {
      double offset = 0.0;
      ASSERT_EQ(std::sscanf(ReadWholeFile(file).c_str(), "0 dBFS = %lf dB SPL", &offset), 1);
      EXPECT_NEAR(offset, 94.0 - c.levelDbfs, 0.05);
      EXPECT_NE(r.err.find(SplitLines(ReadWholeFile(file)).front()), std::string::npos);
    }
  }
}

// A flat room of gain G through a calibration of O dB SPL at 0 dBFS: the
// sweep, at half of full scale, reaches the microphone at O - 6.02 + G.
TEST(SplCalibration, SavedResponseIsInDbSplOfTheSweepAsPlayed) {
  TempDir work;
  Room room;
  room.gainDb = -10.0;
  const ProcessResult r = Tonvale(work, room, "--runs 1 --save out --spl-offset 120");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const FrdContents frd = ReadFrdFile(work.path() / "out" / "run-001.frd");
  ASSERT_TRUE(frd.ok) << frd.message;
  const double truth = 120.0 + 20.0 * std::log10(0.5) - 10.0;
  int checked = 0;
  for (const ResponsePoint& p : frd.points) {
    if (p.hz >= 100.0 && p.hz <= 10000.0) {
      EXPECT_NEAR(p.db, truth, 0.1) << p.hz;
      ++checked;
    }
  }
  EXPECT_GT(checked, 300);
  EXPECT_NE(ReadWholeFile(work.path() / "out" / "run-001.svg").find("Level (dB SPL)"),
            std::string::npos);
  EXPECT_NE(r.err.find("dB SPL (Z)"), std::string::npos) << r.err;
}

TEST(LevelCheck, GoodInputsExitZeroAndAMissingCableExitsThree) {
  for (const bool cable : {true, false}) {
    SCOPED_TRACE(cable);
    TempDir work;
    Room room;
    room.cable = cable;
    room.noiseDb = -90.0;
    room.gainDb = -12.0;
    const ProcessResult r = Tonvale(work, room, "--level-check");
    EXPECT_EQ(r.exitStatus, cable ? 0 : 3) << r.out << r.err;
    EXPECT_EQ(r.out.find("cable") != std::string::npos, !cable) << r.out;
  }
}

// A script's batch: three runs with their average, filters and JSON that
// validates against the published schema; without the cable, exit 3 and
// nothing saved.
TEST(Batch, ThreeRunsKeepEverythingOrExitThreeAndKeepNothing) {
  for (const bool cable : {true, false}) {
    SCOPED_TRACE(cable);
    TempDir work;
    Room room;
    room.cable = cable;
    room.filters = "f1 { type peaking freq 110 q 3 gain_db 6 }";
    const ProcessResult r = Tonvale(work, room, "--runs 3 --save out --eq");
    ASSERT_EQ(r.exitStatus, cable ? 0 : 3) << r.err;
    EXPECT_EQ(FindReports(r.out).size(), 3U);
    const fs::path out = work.path() / "out";
    for (const char* name : {"run-003.json", "average.json", "average.frd", "eq-camilladsp.yml"}) {
      EXPECT_EQ(fs::exists(out / name), cable) << name;
    }
    if (!cable) {
      EXPECT_TRUE(fs::is_empty(out));
      continue;
    }
    for (const auto& [document, schema] : {std::pair{"run-001.json", "run.schema.json"},
                                           std::pair{"average.json", "average.schema.json"}}) {
      const ProcessResult valid = RunProcess(
          {"python3", "-c",
           "import json, sys, jsonschema\n"
           "jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))",
           (out / document).string(), (fs::path(TONVALE_SOURCE_DIR) / "docs" / schema).string()},
          {});
      EXPECT_EQ(valid.exitStatus, 0) << document << valid.err;
    }
  }
}

}  // namespace
