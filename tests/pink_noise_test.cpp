#include "signals/pink_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "signals/biquad.h"

namespace {

// The noise's power in the octave around hz, through a band-pass section of
// one octave's Q. The bilinear transform narrows the section's bandwidth by
// sin(w) / w at w = 2 pi hz / rate; that is taken back out.
double OctavePowerDb(const std::vector<SampleWord>& noise, double hz) {
  const BiquadCoefficients band =
      DesignBiquad({.shape = BiquadShape::kBandpass, .hz = hz, .q = std::numbers::sqrt2}, 48000.0);
  BiquadState state;
  double power = 0.0;
  for (const SampleWord s : noise) {
    const double y = state.Process(band, s);
    power += y * y;
  }
  const double w = 2.0 * std::numbers::pi * hz / 48000.0;
  return 10.0 * std::log10(power * w / std::sin(w));
}

TEST(PinkNoise, EqualPowerInEveryOctaveAtTheAskedPeak) {
  const std::vector<SampleWord> noise = MakePinkNoise({.seed = 3});
  std::vector<double> octaves;  // 62.5 Hz to 8 kHz: -3 dB per octave is equal power in each
  for (double hz = 62.5; hz <= 8000.0; hz *= 2.0) {
    octaves.push_back(OctavePowerDb(noise, hz));
  }
  double mean = 0.0;
  for (const double db : octaves) mean += db / static_cast<double>(octaves.size());
  for (std::size_t k = 0; k < octaves.size(); ++k) {
    EXPECT_NEAR(octaves[k], mean, 1.0) << "octave " << 62.5 * std::exp2(k);
  }
  // Nothing below 20 Hz: the 8 Hz octave holds only the edge of the next.
  EXPECT_LT(OctavePowerDb(noise, 7.8125), mean - 6.0);

  const auto largest = std::max_element(noise.begin(), noise.end(), [](SampleWord a, SampleWord b) {
    return std::abs(a) < std::abs(b);
  });
  EXPECT_EQ(std::abs(*largest), 4194304);
  EXPECT_EQ(MakePinkNoise({.seed = 3}), noise);
  EXPECT_NE(MakePinkNoise({.seed = 4}), noise);
}

}  // namespace
