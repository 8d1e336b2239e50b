#include "setup/mic_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "process_runner.h"

namespace {

using Points = std::vector<std::pair<double, double>>;

TEST(MicCalibration, ReadsTheDialectsMicrophonesShipWith) {
  const std::pair<std::string, Points> cases[] = {
      {"\"Sens Factor =-1.23dB, AGain =18dB, SERNO: 1234567\"\n10.0 -2.5 12.1\n  20 -1.0 6\n",
       {{10, -2.5}, {20, -1}}},
      {"*1000Hz -36.0\r\n20\t+0.5\r\n2e4\t-3.25\t-90\r\n", {{20, 0.5}, {20000, -3.25}}},
      {"Freq,dB,Phase\n# 2024\n\n20,1.5,0\n.5e2, -0.75 ,3\n", {{20, 1.5}, {50, -0.75}}},
      {"inf 3\nnan 2\n10 1\n20 2\n", {{10, 1}, {20, 2}}},
  };
  for (const auto& [text, points] : cases) {
    SCOPED_TRACE(text);
    const MicCalibrationResult result = ParseMicCalibration(text, "mic.txt");
    ASSERT_TRUE(result.calibration) << result.error;
    Points got;
    for (const CalibrationPoint& p : result.calibration->points()) got.emplace_back(p.hz, p.gainDb);
    EXPECT_EQ(got, points);
  }
}

TEST(MicCalibration, NamesTheLineAndTheFaultOfABrokenFile) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"Sens Factor =-1.23dB\"\nFreq dB\n",
       "mic.txt: no calibration points (need at least two lines of 'frequency dB')"},
      {"header\n\n1000 0.5\n",
       "mic.txt: only one calibration point (line 3); need at least two lines of 'frequency dB'"},
      {"20 0\n1000 1\n900 2\n", "mic.txt line 3: frequencies must rise (900 after 1000)"},
      {"20 0\n20 1\n", "mic.txt line 2: frequencies must rise (20 after 20)"},
      {"20 0\n30\n", "mic.txt line 2: expected 'frequency dB'; the dB value is missing"},
      {"20Hz 0\n", "mic.txt line 1: the frequency must be followed by a space, tab or comma"},
      {"0 1\n10 2\n", "mic.txt line 1: the frequency must be a positive number"},
      {"10 1\n20 1e999\n", "mic.txt line 2: the dB value must be a finite number"},
      {std::string("\x7f"
                   "ELF\x02\x01\0\0 20 1\n30 2\n",
                   19),
       "mic.txt: not a text file (it holds NUL bytes); give the microphone's calibration text "
       "file"},
  };
  for (const auto& [text, error] : cases) {
    SCOPED_TRACE(text);
    const MicCalibrationResult result = ParseMicCalibration(text, "mic.txt");
    EXPECT_FALSE(result.calibration);
    EXPECT_EQ(result.error, error);
  }
  const TempDir dir;
  const std::string missing = (dir.path() / "none.txt").string();
  EXPECT_EQ(LoadMicCalibration(missing).error,
            missing + ": cannot be read: No such file or directory");
  EXPECT_EQ(LoadMicCalibration(dir.path()).error,
            dir.path().string() + ": cannot be read: Is a directory");
  std::ofstream(dir.path() / "good.txt") << "Hz dB\n20 1\n40 2\n";
  EXPECT_EQ(LoadMicCalibration(dir.path() / "good.txt").calibration.value().GainDbAt(40), 2.0);
}

TEST(MicCalibration, GainIsLinearInLogFrequencyAndFlatBeyondTheEnds) {
  const MicCalibration mic({{100, 0}, {1000, 10}, {10000, -10}});
  // By hand: a decade per segment, so x Hz lies log10(x / 100) of the way up from 100 Hz.
  const std::pair<double, double> cases[] = {
      {NAN, 0},   {-5, 0},        {50, 0},     {100, 0},          {200, 3.0103}, {316.23, 5},
      {1000, 10}, {2000, 3.9794}, {3162.3, 0}, {9999.9, -9.9999}, {10000, -10},  {48000, -10},
  };
  for (const auto& [hz, db] : cases) {
    SCOPED_TRACE(hz);
    EXPECT_NEAR(mic.GainDbAt(hz), db, 1e-3);
  }
}

}  // namespace
