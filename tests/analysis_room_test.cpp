#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "analysis/band_analysis.h"
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

struct Plan {
  std::vector<double> low;
  std::vector<double> high;
};

// The default band plan: Q 4 from 18 Hz, each upper edge the one before plus
// a quarter of it, in whole hertz.
Plan DefaultPlan() {
  Plan plan{std::vector<double>(kBands), std::vector<double>(kBands)};
  auto f = static_cast<std::int32_t>(kStart);
  for (std::size_t k = 0; k < kBands; ++k) {
    f = static_cast<std::int32_t>(static_cast<long double>(f) + static_cast<long double>(f) / 4.0L);
    plan.high[k] = f;
    plan.low[k] = k == 0 ? kStart : plan.high[k - 1];
  }
  return plan;
}

// A second-order section, a[0] normalised to 1.
struct Biquad {
  double b0, b1, b2, a1, a2;

  [[nodiscard]] double Magnitude(double hz) const {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2));
  }
};

Biquad LowPass(double cornerHz, double q) {
  const double w0 = 2.0 * std::numbers::pi * cornerHz / kRate;
  const double alpha = std::sin(w0) / (2.0 * q);
  const double a0 = 1.0 + alpha;
  const double c = std::cos(w0);
  return {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0,
          (1.0 - alpha) / a0};
}

struct Room {
  Biquad filter;
  double gain;
};

// The microphone channel as recorded: the played signal through the room,
// arriving kLag samples late, truncated to whole sample words.
std::vector<SampleWord> Record(const std::vector<SampleWord>& played, const Room& room) {
  std::vector<SampleWord> recorded(played.size(), 0);
  double x1 = 0;
  double x2 = 0;
  double y1 = 0;
  double y2 = 0;
  const Biquad& h = room.filter;
  for (std::size_t i = 0; i + kLag < played.size(); ++i) {
    const double x = played[i];
    const double y = h.b0 * x + h.b1 * x1 + h.b2 * x2 - h.a1 * y1 - h.a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    recorded[i + kLag] = static_cast<SampleWord>(y * room.gain);
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
  Room room;
};

TEST(AnalysisRoom, ResolvedBandsReadTheRoom) {
  const Plan plan = DefaultPlan();
  ASSERT_EQ(plan.high[kBands - 1], 16175.0);
  std::vector<SampleWord> played(kTotal);
  std::vector<double> track(kTotal, 0.0);
  MakeSweep(kRate, played.data(), track.data(), kStart, plan.high[kBands - 1], kTotal, 0.5, kPad);

  const Biquad flat{1.0, 0.0, 0.0, 0.0, 0.0};
  const std::vector<RoomCase> rooms{
      {"flat", {flat, 1.0}},
      {"flat and quiet", {flat, 0.01}},
      {"low-pass 2 kHz", {LowPass(2000.0, 0.707), 1.0}},
      {"resonant low-pass 600 Hz", {LowPass(600.0, 2.0), 0.5}},
  };
  for (const RoomCase& c : rooms) {
    const std::vector<SampleWord> recorded = Record(played, c.room);
    const BandLevels levels = ComputeBandLevels(kTotal, kBands, track.data(), recorded.data(), kLag,
                                                plan.high.data(), kPad);
    ASSERT_EQ(levels.bands.size(), static_cast<std::size_t>(kBands));

    // Only the bands below about 150 Hz hold fewer than 3 cycles of their
    // tone with the default sweep: 29.7 samples per hertz over f df.
    for (std::size_t k = 0; k < kBands; ++k) {
      EXPECT_EQ(levels.bands[k].unresolved, k < 10) << c.name << ", band " << k + 1;
    }

    double loudest = 0.0;
    std::vector<double> expected(kBands);
    for (std::size_t k = 0; k < kBands; ++k) {
      expected[k] = MeanMagnitude(c.room.filter, plan.low[k], plan.high[k]);
      if (!levels.bands[k].unresolved) {
        loudest = std::max(loudest, expected[k]);
      }
    }
    for (std::size_t k = 0; k < kBands; ++k) {
      if (levels.bands[k].unresolved) {
        continue;
      }
      const double expectedDb = 20.0 * std::log10(expected[k] / loudest);
      EXPECT_NEAR(levels.bands[k].level, expectedDb, kToleranceDb)
          << c.name << ", band " << k + 1 << " (" << plan.low[k] << " to " << plan.high[k]
          << " Hz)";
    }
  }
}

}  // namespace
