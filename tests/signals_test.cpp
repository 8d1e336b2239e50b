#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "signals/sweep.h"
#include "signals/sync_pulse.h"

namespace {

constexpr SampleWord kUnwritten = 77;
constexpr double kUntouched = -1.0;

struct SweepCase {
  const char* name;
  double startHz;
  double endHz;
  std::int32_t total;
  std::int32_t pad;
};

// Silence in the padding and a tone from phase 0 between, whose frequency,
// measured by its zero crossings (two a cycle) over stretches of 0.1 s,
// follows the track; the track rises from the start to within a step of the
// end over the tone's samples alone.
TEST(Sweep, ToneFollowsItsTrackBetweenSilences) {
  constexpr std::size_t kStretch = 4800;
  for (const SweepCase& c :
       std::vector<SweepCase>{{"default run", 18.0, 16175.0, 528000, 24000},
                              {"steady tone", 1000.0, 1000.0, 9800, 100},
                              {"no tone", 50.0, 500.0, 20, 10},
                              {"shorter than its padding", 50.0, 500.0, 15, 10}}) {
    SCOPED_TRACE(c.name);
    const auto total = static_cast<std::size_t>(c.total);
    const auto pad = static_cast<std::size_t>(c.pad);
    const std::size_t tone = total > 2 * pad ? total - 2 * pad : 0;
    std::vector<SampleWord> samples(total + 1, kUnwritten);
    std::vector<double> track(total + 1, kUntouched);
    MakeSweep(48000, samples.data(), track.data(), c.startHz, c.endHz, c.total, 0.5, c.pad);
    EXPECT_EQ(track[0], c.startHz);
    EXPECT_EQ(track[std::max<std::size_t>(tone, 1)], kUntouched);
    EXPECT_EQ(samples[total], kUnwritten) << "written past the array";
    for (std::size_t i = 0; i < total; ++i) {
      ASSERT_TRUE(samples[i] == 0 || (i > pad && i < pad + tone)) << i << ": " << samples[i];
    }
    if (tone == 0) continue;
    EXPECT_NEAR(track[tone - 1], c.endHz, (c.endHz - c.startHz) / static_cast<double>(tone) + 1e-9);
    for (std::size_t from = 0; from + kStretch <= tone; from += kStretch) {
      double cycles = 0.0;
      int crossings = 0;
      for (std::size_t j = from; j < from + kStretch; ++j) {
        cycles += track[j] / 48000.0;
        crossings += j > from && (samples[pad + j - 1] < 0) != (samples[pad + j] < 0);
      }
      ASSERT_NEAR(crossings, 2.0 * cycles, 2.0) << "tone sample " << from;
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

// Silence around a burst of one millisecond at no more than half scale; the
// index returned is that of the burst's first largest sample.
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
      const SampleWord s = samples[static_cast<std::size_t>(i)];
      ASSERT_LE(std::abs(s), i >= c.pad && i < c.pad + c.burstSamples ? 4194304 : 0) << i;
    }
    EXPECT_EQ(samples[static_cast<std::size_t>(c.peakIndex)],
              *std::max_element(samples.begin(), samples.end() - 1));
    EXPECT_EQ(samples.back(), kUnwritten) << "written past the array";
  }
}

}  // namespace
