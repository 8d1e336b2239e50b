#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "signals/sweep.h"
#include "signals/sync_pulse.h"

namespace {

constexpr double kTurn = 6.28318;  // the generators' full turn of phase
constexpr SampleWord kUnwritten = 77;
constexpr double kUntouched = -1.0;

struct SweepCase {
  const char* name;
  double startHz;
  double endHz;
  std::int32_t total;
  std::int32_t pad;
  double amplitude;
};

// The tone's phase is the integral of a track that rises linearly from the
// start by (end - start) / tone samples per sample; outside the tone there
// is silence, and the track holds the tone's samples only.
TEST(Sweep, SamplesFollowTheIntegratedTrack) {
  for (const SweepCase& c : std::vector<SweepCase>{
           {"default run", 18.0, 16175.0, 528000, 24000, 0.5},
           {"steady tone without padding", 1000.0, 1000.0, 16, 0, 0.5},
           // A crest of 8.39 truncates toward zero: -8 at the trough, never -9.
           {"crest of a few steps", 1000.0, 1000.0, 48, 0, 1e-6},
           {"no tone", 50.0, 500.0, 20, 10, 0.5},
           {"shorter than its padding", 50.0, 500.0, 15, 10, 0.5},
       }) {
    SCOPED_TRACE(c.name);
    const auto size = static_cast<std::size_t>(c.total);
    std::vector<SampleWord> samples(size, kUnwritten);
    std::vector<double> track(size, kUntouched);
    MakeSweep(48000, samples.data(), track.data(), c.startHz, c.endHz, c.total, c.amplitude, c.pad);
    const std::int32_t tone = std::max(c.total - 2 * c.pad, 0);
    const double step = tone > 0 ? (c.endHz - c.startHz) / tone : 0.0;
    EXPECT_EQ(track[0], c.startHz);
    for (std::int32_t i = 0; i < c.total; ++i) {
      const std::int32_t j = i - c.pad;
      const auto at = static_cast<std::size_t>(i);
      if (j < 0 || j >= tone) {
        ASSERT_EQ(samples[at], 0) << "outside the tone at " << i;
      } else {
        const double phase = kTurn / 48000 * (c.startHz * j + step * j * j / 2.0);
        // 1 allows for a product that lies within rounding of a whole number.
        ASSERT_NEAR(samples[at], std::trunc(std::sin(phase) * 8388608 * c.amplitude), 1) << i;
      }
      if (i > 0) {
        ASSERT_EQ(track[at], i < tone ? c.startHz + step * i : kUntouched) << "track " << i;
      }
    }
  }
}

struct PulseCase {
  std::uint32_t rate;
  std::int32_t length;
  std::int32_t pad;
  std::int32_t burstSamples;  // one millisecond, rounded up
  std::int32_t peakIndex;     // the first crest of a 1000 Hz sine in phase at index 500
};

TEST(Pulse, OneMillisecondBurstAfterThePadding) {
  for (const PulseCase& c : std::vector<PulseCase>{{48000, 40384, 24000, 48, 24032},
                                                   {44100, 400, 100, 45, 114},
                                                   {48000, 58, 10, 48, 32},
                                                   // Its only sample is at phase 0.
                                                   {1000, 600, 500, 1, 0}}) {
    SCOPED_TRACE(c.rate);
    std::vector<SampleWord> samples(static_cast<std::size_t>(c.length) + 1, kUnwritten);
    EXPECT_EQ(MakePulse(samples.data(), c.rate, c.length, c.pad), c.peakIndex);
    for (std::int32_t i = 0; i < c.length; ++i) {
      const double phase = kTurn * 1000.0 / c.rate * (i - 500);
      const bool inBurst = i >= c.pad && i < c.pad + c.burstSamples;
      ASSERT_NEAR(samples[static_cast<std::size_t>(i)],
                  inBurst ? std::trunc(std::sin(phase) * 4194304) : 0, 1)
          << i;
    }
    EXPECT_EQ(samples.back(), kUnwritten) << "written past the array";
  }
}

}  // namespace
