#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "signals/sweep.h"
#include "signals/sync_pulse.h"

namespace {

// The default run: 18 Hz to 16175 Hz over 10 s, with half a second of
// silence at each end.
constexpr std::uint32_t kRate = 48000;
constexpr double kStart = 18.0;
constexpr double kEnd = 16175.0;
constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kTone = 480000;
constexpr std::int32_t kTotal = kTone + 2 * kPad;
constexpr double kUntouched = -1.0;

template <typename T, typename Index>
const T& At(const std::vector<T>& v, Index i) {
  return v[static_cast<std::size_t>(i)];
}

struct Sweep {
  std::vector<SampleWord> samples;
  std::vector<double> track;
};

Sweep MakeDefaultSweep() {
  Sweep s{std::vector<SampleWord>(kTotal, 77), std::vector<double>(kTotal, kUntouched)};
  MakeSweep(kRate, s.samples.data(), s.track.data(), kStart, kEnd, kTotal, 0.5, kPad);
  return s;
}

// The tone's phase at tone sample j in closed form: the integral of a track
// that rises linearly from the start frequency by (end - start) / tone samples
// per sample.
double ClosedFormPhase(double j) {
  const double step = (kEnd - kStart) / kTone;
  return 6.28318 / kRate * (kStart * j + step * j * j / 2.0);
}

TEST(Sweep, DefaultRunSamplesFollowTheIntegratedTrack) {
  const Sweep s = MakeDefaultSweep();
  // Worked out with exact rational phase and 40-digit sine.
  const std::vector<SampleWord> firstTone{0, 9891, 19802, 29730, 39677, 49642};
  for (std::size_t j = 0; j < firstTone.size(); ++j) {
    EXPECT_EQ(At(s.samples, kPad + j), firstTone[j]) << "tone sample " << j;
  }
  EXPECT_NEAR(At(s.samples, kPad + 1000), -4145224, 1);
  EXPECT_NEAR(At(s.samples, kPad + 100000), -4059835, 1);
  EXPECT_NEAR(At(s.samples, kPad + kTone - 1), -2349548, 1);

  // Every sample against the closed form; 1 allows for a product that lies
  // within rounding of a whole number.
  int worst = 0;
  for (std::int32_t j = 0; j < kTone; ++j) {
    const auto expected = static_cast<SampleWord>(std::sin(ClosedFormPhase(j)) * 4194304.0);
    worst = std::max(worst, std::abs(At(s.samples, kPad + j) - expected));
  }
  EXPECT_LE(worst, 1);
}

TEST(Sweep, TrackRunsFromStartToWithinOneStepOfEnd) {
  const Sweep s = MakeDefaultSweep();
  const double step = (kEnd - kStart) / kTone;
  EXPECT_EQ(At(s.track, 0), kStart);
  EXPECT_DOUBLE_EQ(At(s.track, 1), 18.033660416666666);
  EXPECT_DOUBLE_EQ(At(s.track, kTone - 1), 16174.966339583334);
  EXPECT_LT(At(s.track, kTone - 1), kEnd);
  EXPECT_GE(At(s.track, kTone - 1), kEnd - step * 1.000001);
  for (std::int32_t j = 1; j < kTone; ++j) {
    ASSERT_GT(At(s.track, j), At(s.track, j - 1)) << j;
  }
  for (std::int32_t j = kTone; j < kTotal; ++j) {
    ASSERT_EQ(At(s.track, j), kUntouched) << "track entry past the tone written at " << j;
  }
}

TEST(Sweep, SilencesAroundTheToneAndCrestBound) {
  const Sweep s = MakeDefaultSweep();
  for (std::int32_t i = 0; i <= kPad; ++i) {
    ASSERT_EQ(At(s.samples, i), 0) << i;
  }
  for (std::int32_t i = kPad + kTone; i < kTotal; ++i) {
    ASSERT_EQ(At(s.samples, i), 0) << i;
  }
  SampleWord largest = 0;
  for (std::int32_t i = kPad; i < kPad + kTone; ++i) {
    largest = std::max(largest, std::abs(At(s.samples, i)));
  }
  EXPECT_LE(largest, 4194304);
  EXPECT_GT(largest, 4194000);
}

// The instantaneous frequency of the tone, measured from its zero crossings
// over short stretches, agrees with the track there. A linear sweep's mean
// frequency between two crossings is its frequency at their midpoint.
TEST(Sweep, ToneFrequencyFollowsTheTrack) {
  const Sweep s = MakeDefaultSweep();
  for (const std::int32_t centre : {2000, 10000, 60000, 150000, 240000, 330000, 420000, 478000}) {
    const std::int32_t from = kPad + centre - 1500;
    const std::int32_t to = kPad + centre + 1500;
    double firstCrossing = -1.0;
    double lastCrossing = -1.0;
    int halfCycles = -1;
    for (std::int32_t i = from; i < to; ++i) {
      const double a = At(s.samples, i);
      const double b = At(s.samples, i + 1);
      if ((a < 0) != (b < 0)) {
        const double t = i + a / (a - b);
        if (firstCrossing < 0) {
          firstCrossing = t;
        }
        lastCrossing = t;
        ++halfCycles;
      }
    }
    ASSERT_GT(halfCycles, 4) << centre;
    const double measuredHz = halfCycles / 2.0 / (lastCrossing - firstCrossing) * kRate;
    const double midpoint = (firstCrossing + lastCrossing) / 2.0 - kPad;
    const double trackHz = kStart + (kEnd - kStart) / kTone * midpoint;
    EXPECT_NEAR(measuredHz / trackHz, 1.0, 0.005)
        << "at tone sample " << centre << ": tone " << measuredHz << " Hz, track " << trackHz;
  }
}

TEST(Sweep, SteadyToneWithoutPadding) {
  std::vector<SampleWord> samples(16, 77);
  std::vector<double> track(16, kUntouched);
  MakeSweep(kRate, samples.data(), track.data(), 1000.0, 1000.0, 16, 0.5, 0);
  const std::vector<SampleWord> expected{0, 547466, 1085564, 1605089, 2097150, 2553328};
  for (std::size_t j = 0; j < expected.size(); ++j) {
    EXPECT_EQ(At(samples, j), expected[j]) << j;
  }
  for (const double f : track) {
    EXPECT_EQ(f, 1000.0);
  }
  EXPECT_NE(At(samples, 15), 0);
}

TEST(Sweep, TruncatesTowardZero) {
  // 0.5 of full scale with amplitude 1e-6 is 8.39 at the crest: a negative
  // crest of -8.39 truncates to -8, never to -9.
  std::vector<SampleWord> samples(48, 77);
  std::vector<double> track(48);
  MakeSweep(kRate, samples.data(), track.data(), 1000.0, 1000.0, 48, 1e-6, 0);
  EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 8);
  EXPECT_EQ(*std::min_element(samples.begin(), samples.end()), -8);
}

struct ShortCase {
  const char* name;
  std::int32_t total;
  std::int32_t pad;
};

// No room for a tone: the array is silence and only the first track entry
// is written.
TEST(Sweep, NoToneSamples) {
  for (const ShortCase& c :
       {ShortCase{"N = 0", 20, 10}, ShortCase{"total between pad and 2 pad", 15, 10},
        ShortCase{"total = pad", 10, 10}}) {
    std::vector<SampleWord> samples(static_cast<std::size_t>(c.total), 77);
    std::vector<double> track(static_cast<std::size_t>(c.total), kUntouched);
    MakeSweep(kRate, samples.data(), track.data(), 50.0, 500.0, c.total, 0.5, c.pad);
    for (const SampleWord v : samples) {
      EXPECT_EQ(v, 0) << c.name;
    }
    EXPECT_EQ(At(track, 0), 50.0) << c.name;
    for (std::size_t j = 1; j < track.size(); ++j) {
      EXPECT_EQ(At(track, j), kUntouched) << c.name << " entry " << j;
    }
  }
}

TEST(Pulse, RunValues) {
  std::vector<SampleWord> samples(40384, 77);
  EXPECT_EQ(MakePulse(samples.data(), 48000, 40384, 24000), 24032);
  EXPECT_EQ(At(samples, 24000), -2087706);
  EXPECT_EQ(At(samples, 24008), -4194289);
  EXPECT_EQ(At(samples, 24032), 4194289);
  EXPECT_EQ(At(samples, 24047), -1594996);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (i >= 24000 && i < 24048) {
      EXPECT_NE(At(samples, i), 0) << i;
    } else {
      ASSERT_EQ(At(samples, i), 0) << i;
    }
  }
}

struct BurstCase {
  std::uint32_t rate;
  std::int32_t pad;
  std::int32_t length;
  std::int32_t burstSamples;
};

TEST(Pulse, BurstLastsOneMillisecondRoundedUp) {
  for (const BurstCase& c : {BurstCase{48000, 24000, 40384, 48}, BurstCase{44100, 100, 400, 45},
                             BurstCase{48000, 10, 58, 48}}) {
    std::vector<SampleWord> samples(static_cast<std::size_t>(c.length) + 1, 77);
    MakePulse(samples.data(), c.rate, c.length, c.pad);
    std::int32_t written = 0;
    for (std::int32_t i = 0; i < c.length; ++i) {
      written += At(samples, i) != 0 ? 1 : 0;
    }
    EXPECT_EQ(written, c.burstSamples) << c.rate;
    EXPECT_NE(At(samples, c.pad + c.burstSamples - 1), 0) << c.rate;
    EXPECT_EQ(At(samples, c.length), 77) << "written past the array at " << c.rate;
  }
}

TEST(Pulse, PhaseCountsFromTheAbsoluteIndex) {
  std::vector<SampleWord> samples(100, 77);
  EXPECT_EQ(MakePulse(samples.data(), 48000, 100, 0), 32);
  EXPECT_EQ(At(samples, 0), -2097352);
}

TEST(Pulse, NoPositiveSampleGivesIndexZero) {
  // A burst of one sample at index 500 has phase 0: its only sample is 0.
  std::vector<SampleWord> samples(600, 77);
  EXPECT_EQ(MakePulse(samples.data(), 1000, 600, 500), 0);
  EXPECT_EQ(At(samples, 500), 0);
}

}  // namespace
