#include "analysis/weighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

// IEC 61672-1's table, at the exact base-ten frequencies it is computed at,
// rounded to 0.1 dB there.
TEST(Weighting, MatchesTheStandardsTable) {
  const struct {
    double (*curve)(double);
    double hz;
    double db;
  } cases[] = {
      {CWeightingDb, std::pow(10, 1.5), -3.0},
      {CWeightingDb, std::pow(10, 1.8), -0.8},
      {CWeightingDb, std::pow(10, 3.9), -3.0},
      {CWeightingDb, std::pow(10, 4.2), -8.5},
      {AWeightingDb, std::pow(10, 1.5), -39.4},
      {AWeightingDb, 100, -19.1},
      {AWeightingDb, 1000, 0.0},
      {AWeightingDb, 10000, -2.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hz);
    EXPECT_NEAR(c.curve(c.hz), c.db, 0.05);
  }
}

// Points every 1/48 octave from 20 Hz to 20 kHz.
FineResponse Response(const std::function<double(double)>& level) {
  FineResponse points;
  for (int i = 0; i <= 480; ++i) {
    const double hz = 20.0 * std::pow(1000.0, i / 480.0);
    points.push_back({hz, level(hz), 0.0});
  }
  return points;
}

// The C curve's power average over 20 Hz-20 kHz, each frequency counted for
// the sweep's time on it: a fine midpoint sum over f, or over log f.
double CAverageDb(SweepPace pace) {
  constexpr int kSteps = 200000;
  double sum = 0.0;
  for (int i = 0; i < kSteps; ++i) {
    const double x = (i + 0.5) / kSteps;
    const double hz = pace == SweepPace::kLinear ? 20.0 + 19980.0 * x : 20.0 * std::pow(1000.0, x);
    sum += std::pow(10.0, CWeightingDb(hz) / 10.0);
  }
  return 10.0 * std::log10(sum / kSteps);
}

TEST(Weighting, SweepLevelIsThePowerAverageOverTheSweepsTime) {
  const auto flat = [](double) { return 80.0; };
  // 60 dB SPL up to 200 Hz, 80 above: a linear sweep spends 180 of its 19980
  // Hz below the step, an exponential one 1 of its 3 decades.
  const auto step = [](double hz) { return hz < 200.0 ? 60.0 : 80.0; };
  const struct {
    const char* name;
    std::function<double(double)> level;
    SweepPace pace;
    double z;
    double c;  // NAN: not checked
  } cases[] = {
      {"flat, linear", flat, SweepPace::kLinear, 80.0, 80.0 + CAverageDb(SweepPace::kLinear)},
      {"flat, exponential", flat, SweepPace::kExponential, 80.0,
       80.0 + CAverageDb(SweepPace::kExponential)},
      {"step, linear", step, SweepPace::kLinear, 10 * std::log10((180e6 + 19800e8) / 19980), NAN},
      {"step, exponential", step, SweepPace::kExponential, 10 * std::log10((1e6 + 2e8) / 3), NAN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<SweepSpl> got = SweepLevelAtMicrophone(Response(c.level), c.pace);
    ASSERT_TRUE(got);
    EXPECT_NEAR(got->zDb, c.z, 0.01);
    if (!std::isnan(c.c)) {
      EXPECT_NEAR(got->cDb, c.c, 0.01);
    }
  }
  const FineResponse one{{1000.0, 80.0, 0.0}};
  EXPECT_FALSE(SweepLevelAtMicrophone(one, SweepPace::kLinear).has_value());
}

}  // namespace
