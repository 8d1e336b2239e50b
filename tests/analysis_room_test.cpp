#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/band_analysis.h"
#include "console/band_plan.h"
#include "cookbook_biquad.h"
#include "signals/sweep.h"

// A default measurement of a synthetic room: the default sweep passed
// through a known filter and delayed, then analysed. Every band the sweep
// can resolve must read what the filter does to it.
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr double kStart = 18.0;
constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kTotal = 480000 + 2 * kPad;
constexpr std::int32_t kBands = 31;
constexpr std::int32_t kLag = 1234;
constexpr double kToleranceDb = 0.2;

// The microphone channel as recorded: the played signal through the room,
// arriving kLag samples late, truncated to whole sample words.
std::vector<SampleWord> Record(const std::vector<SampleWord>& played, Biquad room, double gain) {
  std::vector<SampleWord> recorded(played.size(), 0);
  for (std::size_t i = 0; i + kLag < played.size(); ++i) {
    recorded[i + kLag] = static_cast<SampleWord>(room.Step(played[i]) * gain);
  }
  return recorded;
}

// The band's expected average magnitude: a linear sweep spends equal time on
// every hertz, so it is the filter's magnitude averaged over the band.
double MeanMagnitude(const Biquad& h, double from, double to) {
  constexpr int kSteps = 4000;
  double sum = 0.0;
  for (int s = 0; s < kSteps; ++s) {
    sum += h.Magnitude(from + (to - from) * (s + 0.5) / kSteps);
  }
  return sum / kSteps;
}

struct RoomCase {
  const char* name;
  Biquad filter;
  double gain;
};

TEST(AnalysisRoom, ResolvedBandsReadTheRoom) {
  BandPlan plan;
  const double end = FindHighFreq(4.0, kBands, kStart, plan.low.data(), plan.high.data());
  ASSERT_EQ(end, 16175.0);
  std::vector<SampleWord> played(kTotal);
  std::vector<double> track(kTotal, 0.0);
  MakeSweep(kRate, played.data(), track.data(), kStart, end, kTotal, 0.5, kPad);

  const std::vector<RoomCase> rooms{
      {"flat", Biquad{}, 1.0},
      {"flat and quiet", Biquad{}, 0.01},
      {"low-pass 2 kHz", Design({"lowpass", 2000.0, 0.707}), 1.0},
      {"resonant low-pass 600 Hz", Design({"lowpass", 600.0, 2.0}), 0.5},
  };
  for (const RoomCase& c : rooms) {
    const std::vector<SampleWord> recorded = Record(played, c.filter, c.gain);
    const BandLevels levels = ComputeBandLevels(kTotal, kBands, track.data(), recorded.data(), kLag,
                                                plan.high.data(), kPad);
    ASSERT_EQ(levels.bands.size(), static_cast<std::size_t>(kBands));

    // Only the bands below about 150 Hz hold fewer than 3 cycles of their
    // tone with the default sweep: 29.7 samples per hertz over f df.
    double loudest = 0.0;
    std::vector<double> expected(kBands);
    for (std::size_t k = 0; k < kBands; ++k) {
      EXPECT_EQ(levels.bands[k].unresolved, k < 10) << c.name << ", band " << k + 1;
      expected[k] = MeanMagnitude(c.filter, plan.low[k], plan.high[k]);
      if (k >= 10) loudest = std::max(loudest, expected[k]);
    }
    for (std::size_t k = 10; k < kBands; ++k) {
      EXPECT_NEAR(levels.bands[k].level, 20.0 * std::log10(expected[k] / loudest), kToleranceDb)
          << c.name << ", band " << k + 1 << " (" << plan.low[k] << " to " << plan.high[k]
          << " Hz)";
    }
  }
}

}  // namespace
