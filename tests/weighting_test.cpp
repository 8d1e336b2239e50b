#include "analysis/weighting.h"

#include <gtest/gtest.h>

#include <cmath>

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
    EXPECT_NEAR(c.curve(c.hz), c.db, 0.05) << c.hz;
  }
}

// Over 20 Hz-20 kHz: x from 0 to 1 is spread over f, or over log f.
double Hz(SweepPace pace, double x) {
  return pace == SweepPace::kLinear ? 20.0 + 19980.0 * x : 20.0 * std::pow(1000.0, x);
}

// The C curve's power average, each frequency counted for the sweep's time
// on it: a fine midpoint sum.
double CAverageDb(SweepPace pace) {
  double sum = 0.0;
  for (int i = 0; i < 200000; ++i)
    sum += std::pow(10.0, CWeightingDb(Hz(pace, (i + 0.5) / 2e5)) / 10);
  return 10.0 * std::log10(sum / 2e5);
}

TEST(Weighting, SweepLevelIsThePowerAverageOverTheSweepsTime) {
  // 60 dB SPL below 200 Hz, 80 above: a linear sweep spends 180 of its 19980
  // Hz below the step, an exponential one 1 of its 3 decades.
  const auto step = [](double hz) { return hz < 200.0 ? 60.0 : 80.0; };
  const auto flat = [](double) { return 80.0; };
  const struct {
    double (*level)(double);
    SweepPace pace;
    double z;
    double c;  // NAN: not checked
  } cases[] = {
      {flat, SweepPace::kLinear, 80.0, 80.0 + CAverageDb(SweepPace::kLinear)},
      {flat, SweepPace::kExponential, 80.0, 80.0 + CAverageDb(SweepPace::kExponential)},
      {step, SweepPace::kLinear, 10 * std::log10((180e6 + 19800e8) / 19980), NAN},
      {step, SweepPace::kExponential, 10 * std::log10((1e6 + 2e8) / 3), NAN},
  };
  for (const auto& c : cases) {
    FineResponse response;  // every 1/48 octave
    for (int i = 0; i <= 480; ++i)
      response.push_back({Hz(SweepPace::kExponential, i / 480.0), 0.0, 0.0});
    for (ResponsePoint& point : response) point.db = c.level(point.hz);
    const SweepSpl got = SweepLevelAtMicrophone(response, c.pace).value();
    EXPECT_NEAR(got.zDb, c.z, 0.01);
    EXPECT_TRUE(std::isnan(c.c) || std::fabs(got.cDb - c.c) < 0.01) << got.cDb << " " << c.c;
  }
}

}  // namespace
