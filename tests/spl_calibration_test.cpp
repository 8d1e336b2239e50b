#include "measurement/spl_calibration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <utility>

#include "process_runner.h"

namespace {

using namespace std::chrono;

TEST(SplCalibration, WritesTheFigureFirstAndReadsItBack) {
  const std::string text = WriteSplCalibration(
      {.offsetDb = 120.304, .date = 2025y / March / 1, .device = "plughw:USB\n0 dBFS = 1"});
  EXPECT_EQ(text,
            "0 dBFS = 120.30 dB SPL\n"
            "# The sound level that reads 0 dBFS (a full-scale sine) on input 1.\n"
            "# Date: 2025-03-01\n# Device: plughw:USB?0 dBFS = 1\n"
            "# Calibrator: 94.0 dB SPL at 1 kHz\n");
  EXPECT_EQ(ParseSplCalibration(text, "spl.txt").offsetDb, 120.30);
  EXPECT_EQ(ParseSplCalibration("# a\r\n\r\n0 dBFS = 60 dB SPL \r\n", "spl.txt").offsetDb, 60.0);
}

TEST(SplCalibration, NamesTheLineAndTheFaultOfABrokenFile) {
  const std::string expected = "expected '0 dBFS = <level> dB SPL'";
  const std::string absurd = " dB SPL is no real chain's level (60 to 200); calibrate again";
  const std::pair<std::string, std::string> cases[] = {
      {"# comments only\n\n", "spl.txt: no calibration line; " + expected},
      {"# decimal comma\n0 dBFS = 120,30 dB SPL\n", "spl.txt line 2: " + expected},
      {"0 dBFS = 12.00 dB SPL\n", "spl.txt line 1: 0 dBFS = 12" + absurd},
      {"0 dBFS = nan dB SPL\n", "spl.txt line 1: 0 dBFS = nan" + absurd},
      {"0 dBFS = 120 dB SPL\n# newer:\n0 dBFS = 110 dB SPL\n",
       "spl.txt line 3: only comments may follow the calibration line"},
  };
  for (const auto& [text, error] : cases) {
    const SplCalibrationResult result = ParseSplCalibration(text, "spl.txt");
    EXPECT_FALSE(result.offsetDb);
    EXPECT_EQ(result.error, error);
  }
}

TEST(SplCalibration, ReadsRegularFilesOfACalibrationsSizeOnly) {
  const TempDir dir;
  const auto path = [&dir](const char* name) { return (dir.path() / name).string(); };
  std::ofstream(path("good.txt")) << "0 dBFS = 101.5 dB SPL\n";
  std::ofstream(path("large.txt"))
      << std::string(kMaxSplCalibrationBytes - 22, '#') << "\n0 dBFS = 101.5 dB SPL\n";
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(LoadSplCalibration(path("good.txt")).offsetDb, 101.5);
  const std::string notRegular = ": not a regular file; give the SPL calibration text file";
  EXPECT_EQ(LoadSplCalibration(path("fifo")).error, path("fifo") + notRegular);
  EXPECT_EQ(LoadSplCalibration("/dev/zero").error, "/dev/zero" + notRegular);
  EXPECT_EQ(LoadSplCalibration(path("large.txt")).error,
            path("large.txt") + ": larger than 64 KiB, so not an SPL calibration file");
  EXPECT_EQ(LoadSplCalibration(path("none.txt")).error,
            path("none.txt") + ": cannot be read: No such file or directory");
}

}  // namespace
