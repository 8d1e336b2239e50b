#include "signals/pink_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "signals/biquad.h"

namespace {

// The power in the octave around hz, through a band-pass section of an
// octave's Q, less the bilinear transform's narrowing by sin(w) / w.
double OctavePowerDb(const std::vector<SampleWord>& noise, double hz) {
  const BiquadCoefficients band =
      DesignBiquad({BiquadShape::kBandpass, hz, std::numbers::sqrt2}, 48e3);
  BiquadState state;
  double power = 0.0;
  for (const SampleWord s : noise) power += std::pow(state.Process(band, s), 2);
  const double w = 2.0 * std::numbers::pi * hz / 48e3;
  return 10.0 * std::log10(power * w / std::sin(w));
}

TEST(PinkNoise, EqualPowerInEveryOctaveAtTheAskedPeak) {
  const std::vector<SampleWord> noise = MakePinkNoise({.seed = 3});
  const double mean = OctavePowerDb(noise, 1000.0);
  // -3 dB per octave is equal power in each; none below 20 Hz, where the 8 Hz
  // octave catches only the edge of the next.
  for (double hz = 62.5; hz <= 8000.0; hz *= 2.0)
    EXPECT_NEAR(OctavePowerDb(noise, hz), mean, 1.0) << hz;
  EXPECT_LT(OctavePowerDb(noise, 7.8125), mean - 6.0);
  int largest = 0;
  for (const SampleWord s : noise) largest = std::max(largest, std::abs(s));
  EXPECT_EQ(largest, 4194304);
  EXPECT_EQ(MakePinkNoise({.seed = 3}), noise);
  EXPECT_NE(MakePinkNoise({.seed = 4}), noise);
}

}  // namespace
