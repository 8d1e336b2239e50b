#include "analysis/calibrator_tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

TEST(CalibratorTone, MeasuresASteadyToneNear1kHzAndRefusesTheRest) {
  const struct {
    const char* name;
    double hz;
    double dbfs;       // the tone's level, a full-scale sine at 0
    double noiseDbfs;  // white noise, RMS on the same scale
    double stepDb;     // the tone's change of level half-way through
    ToneFault fault;
  } cases[] = {
      {"quiet tone in the loudest noise", 1000.0, -50.0, -70.0, 0.0, ToneFault::kNone},
      {"0.95 % low", 990.5, -20.0, -85.0, 0.0, ToneFault::kNone},
      {"0.95 % high, near full scale", 1009.5, -3.0, -100.0, 0.0, ToneFault::kNone},
      {"between bins", 1003.3, -35.0, -75.0, 0.0, ToneFault::kNone},
      {"1.5 % low", 985.0, -20.0, -90.0, 0.0, ToneFault::kOffFrequency},
      {"1.5 % high", 1015.0, -20.0, -90.0, 0.0, ToneFault::kOffFrequency},
      {"clipping", 1000.0, 0.5, -90.0, 0.0, ToneFault::kClipped},
      {"level steps by 1 dB", 1000.0, -20.0, -90.0, -1.0, ToneFault::kUnsteady},
      {"noise alone", 1000.0, -INFINITY, -70.0, 0.0, ToneFault::kNoTone},
  };
  std::mt19937 random(7);
  std::normal_distribution<double> gauss;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Two seconds at a random phase, clipped as a 24-bit converter clips.
    const double phase = std::uniform_real_distribution<double>(0.0, 6.0)(random);
    const double noise = kFullScale * std::pow(10.0, c.noiseDbfs / 20.0) / std::sqrt(2.0);
    std::vector<SampleWord> samples;
    for (int i = 0; i < 96000; ++i) {
      const double db = c.dbfs + (i < 48000 ? 0.0 : c.stepDb);
      const double tone =
          std::pow(10.0, db / 20.0) * std::sin(2 * std::numbers::pi * c.hz * i / 48e3 + phase);
      samples.push_back(static_cast<SampleWord>(std::clamp(
          std::round(kFullScale * tone + noise * gauss(random)), -kFullScale, kFullScale - 1.0)));
    }
    const CalibratorTone tone = MeasureCalibratorTone({samples, 48000.0, 94.0});
    EXPECT_EQ(tone.fault, c.fault);
    if (c.fault == ToneFault::kNone || c.fault == ToneFault::kOffFrequency) {
      EXPECT_NEAR(tone.hz, c.hz, 0.05);
    }
    EXPECT_NEAR(tone.offsetDb, c.fault == ToneFault::kNone ? 94.0 - c.dbfs : 0.0, 0.05);
  }
}

}  // namespace
