#include "signals/log_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

// The exponential sweep as a listener would measure it: the frequency its
// zero crossings show must rise as f1 e^(t/L) with f1 L whole, agree with the
// track it hands the band analysis, and stop where the plan says.
namespace {

constexpr double kRate = 48000.0;
constexpr SampleWord kUnwritten = 77;
constexpr double kUntouched = -1.0;

struct LogSweepCase {
  const char* name;
  SweepShape shape;
  std::int32_t pad;
  double lowestStartHz;  // the plan's start lies in [lowestStartHz, highestStartHz]
  double highestStartHz;
  std::int32_t fadeIn;  // samples
  std::int32_t fadeOut;
};

// Upward zero crossings of the tone, in seconds from its first sample,
// between sample indices from and to.
std::vector<double> UpwardCrossings(const std::vector<SampleWord>& samples, std::int32_t pad,
                                    std::int32_t from, std::int32_t to) {
  std::vector<double> crossings;
  for (std::int32_t j = std::max(from, 1); j < to; ++j) {
    const auto before = static_cast<double>(samples[static_cast<std::size_t>(pad + j - 1)]);
    const auto after = static_cast<double>(samples[static_cast<std::size_t>(pad + j)]);
    if (before < 0.0 && after >= 0.0) {
      crossings.push_back((j - 1 + before / (before - after)) / kRate);
    }
  }
  return crossings;
}

TEST(LogSweep, ZeroCrossingsRiseExponentiallyWithWholeStartCyclesPerRateConstant) {
  const std::vector<LogSweepCase> cases{
      // 18 * 10 / ln(16175 / 18) = 26.47: 26 whole cycles, so the tone starts a little lower.
      {"default run", {18.0, 16175.0, kRate, 10.0, 0.5}, 24000, 17.5, 18.0, 240, 240},
      // 2.65 whole cycles of 18 Hz: 2, from well below 18 Hz.
      {"short", {18.0, 16175.0, kRate, 1.0, 0.5}, 4800, 12.0, 18.0, 240, 240},
      // 3 cycles of 1 kHz fade in faster than 5 ms.
      {"high start", {1000.0, 20000.0, kRate, 2.0, 0.25}, 1000, 990.0, 1000.0, 144, 240},
      // Silent from 24 kHz on, while the track runs on to 30 kHz.
      {"above half the rate", {20.0, 30000.0, kRate, 3.0, 0.5}, 2000, 19.0, 20.0, 240, 240},
      // Under one whole cycle of 1 Hz fits 5 s: the one cycle starts above 1 Hz.
      {"slot below one cycle", {1.0, 16175.0, kRate, 5.0, 0.5}, 0, 1.0, 2.0, 240, 240},
  };
  for (const LogSweepCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto slot = static_cast<std::int32_t>(std::lround(c.shape.seconds * kRate));
    const std::int32_t total = slot + 2 * c.pad;
    std::vector<SampleWord> samples(static_cast<std::size_t>(total), kUnwritten);
    std::vector<double> track(static_cast<std::size_t>(total), kUntouched);
    const LogSweepPlan plan = MakeLogSweep(c.shape, c.pad, samples, track);
    const double rateConstant = plan.rateConstant;

    ASSERT_GE(plan.startCycles, 1);
    EXPECT_NEAR(plan.startHz * rateConstant, static_cast<double>(plan.startCycles), 1e-9);
    EXPECT_GE(plan.startHz, c.lowestStartHz);
    EXPECT_LE(plan.startHz, c.highestStartHz);
    EXPECT_EQ(plan.slotSamples, slot);
    EXPECT_EQ(plan.fadeInSamples, c.fadeIn);
    EXPECT_EQ(plan.fadeOutSamples, c.fadeOut);

    // Silence around the slot; the track covers the slot and ends within a
    // sample of the end.
    for (std::int32_t i = 0; i < total; ++i) {
      if (i < c.pad || i >= c.pad + slot) {
        ASSERT_EQ(samples[static_cast<std::size_t>(i)], 0) << i;
      }
      if (i >= slot) {
        ASSERT_EQ(track[static_cast<std::size_t>(i)], kUntouched) << i;
      }
    }
    EXPECT_EQ(track[0], plan.startHz);
    EXPECT_NEAR(track[static_cast<std::size_t>(slot - 1)] / c.shape.endHz, 1.0,
                2.0 / (kRate * rateConstant));

    // The tone sounds up to the end or half the rate, at the crest asked
    // for, and fades out to nearly nothing.
    std::int32_t lastSounding = -1;
    double crest = 0.0;
    for (std::int32_t j = 0; j < slot; ++j) {
      const SampleWord s = samples[static_cast<std::size_t>(c.pad + j)];
      if (s != 0) {
        lastSounding = j;
      }
      crest = std::max(crest, std::fabs(static_cast<double>(s)));
    }
    const double topHz = std::min(c.shape.endHz, kRate / 2.0);
    EXPECT_GT(track[static_cast<std::size_t>(lastSounding)], topHz * 0.999);
    if (lastSounding + 1 < slot) {
      EXPECT_GT(track[static_cast<std::size_t>(lastSounding + 1)], kRate / 2.0);
    }
    EXPECT_NEAR(crest / (kFullScale * c.shape.amplitude), 1.0, 1e-3);
    EXPECT_LT(std::abs(samples[static_cast<std::size_t>(c.pad + lastSounding)]), crest * 1e-3);

    // The frequency the zero crossings show, over stretches of at least
    // 40 ms and a whole cycle, against f1 e^(t/L) averaged over the same
    // stretch and against the track's average there. Below 0.4 of the rate,
    // where three or more samples a cycle place each crossing well.
    std::int32_t measuredTo = 0;
    while (measuredTo < slot && track[static_cast<std::size_t>(measuredTo)] < 0.4 * kRate) {
      ++measuredTo;
    }
    const std::vector<double> crossings =
        UpwardCrossings(samples, c.pad, 0, std::min(measuredTo, lastSounding));
    ASSERT_GT(crossings.size(), 10U);
    double worstLaw = 0.0;
    double worstTrack = 0.0;
    for (std::size_t a = 0; a < crossings.size();) {
      std::size_t b = a + 1;
      while (b < crossings.size() && crossings[b] - crossings[a] < 0.04) {
        ++b;
      }
      if (b >= crossings.size()) {
        break;
      }
      const double ta = crossings[a];
      const double tb = crossings[b];
      const double measured = static_cast<double>(b - a) / (tb - ta);
      const double law = plan.startHz * rateConstant *
                         (std::exp(tb / rateConstant) - std::exp(ta / rateConstant)) / (tb - ta);
      double trackSum = 0.0;
      int trackCount = 0;
      for (auto j = static_cast<std::size_t>(std::ceil(ta * kRate));
           j <= static_cast<std::size_t>(std::floor(tb * kRate)); ++j) {
        trackSum += track[j];
        ++trackCount;
      }
      worstLaw = std::max(worstLaw, std::fabs(measured / law - 1.0));
      worstTrack = std::max(worstTrack, std::fabs(measured / (trackSum / trackCount) - 1.0));
      a = b;
    }
    EXPECT_LT(worstLaw, 1.5e-4);
    EXPECT_LT(worstTrack, 1.5e-4);

    // The crossings count the tone's cycles: the i-th comes when A e^(t/L) + B
    // reaches i, A = f1 L. Fitted to the crossings alone (L by golden
    // section, A and B by least squares), A must be whole, and B = -A - 1:
    // the tone starts at phase 0, its first upward crossing a cycle later.
    const auto fit = [&](double rateConstantTried) {
      double su = 0.0, si = 0.0, suu = 0.0, sui = 0.0, sii = 0.0;
      for (std::size_t i = 0; i < crossings.size(); ++i) {
        const double u = std::exp(crossings[i] / rateConstantTried);
        const auto count = static_cast<double>(i);
        su += u;
        si += count;
        suu += u * u;
        sui += u * count;
        sii += count * count;
      }
      const auto m = static_cast<double>(crossings.size());
      const double a = (m * sui - su * si) / (m * suu - su * su);
      const double b = (si - a * su) / m;
      const double residual =
          sii - 2.0 * a * sui - 2.0 * b * si + a * a * suu + 2.0 * a * b * su + m * b * b;
      return std::array<double, 3>{a, b, residual};
    };
    double low = std::log(rateConstant / 2.0);
    double high = std::log(rateConstant * 2.0);
    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 80; ++i) {
      const double x1 = high - golden * (high - low);
      const double x2 = low + golden * (high - low);
      if (fit(std::exp(x1))[2] < fit(std::exp(x2))[2]) {
        high = x2;
      } else {
        low = x1;
      }
    }
    const double measuredL = std::exp((low + high) / 2.0);
    const auto [cycles, offset, residual] = fit(measuredL);
    EXPECT_NEAR(measuredL / rateConstant, 1.0, 1e-5);
    EXPECT_NEAR(cycles, std::round(cycles), 0.005);
    EXPECT_EQ(std::lround(cycles), plan.startCycles);
    EXPECT_NEAR(offset, -cycles - 1.0, 0.005);
  }
}

TEST(LogSweep, ShapesThatCannotSweepAreSilentWithAFlatTrack) {
  struct Case {
    const char* name;
    SweepShape shape;
    std::int32_t total;
  };
  for (const Case& c : std::vector<Case>{
           {"no slot", {18.0, 16175.0, kRate, 0.0, 0.5}, 20},
           {"end below the start", {1000.0, 500.0, kRate, 0.001, 0.5}, 68},
           {"start not positive", {0.0, 500.0, kRate, 0.001, 0.5}, 68},
           {"end not finite", {20.0, INFINITY, kRate, 0.001, 0.5}, 68},
       }) {
    SCOPED_TRACE(c.name);
    std::vector<SampleWord> samples(static_cast<std::size_t>(c.total), kUnwritten);
    std::vector<double> track(static_cast<std::size_t>(c.total), kUntouched);
    const LogSweepPlan plan = MakeLogSweep(c.shape, 10, samples, track);
    EXPECT_EQ(plan.startCycles, 0);
    EXPECT_EQ(plan.toneSamples, 0);
    EXPECT_TRUE(std::ranges::all_of(samples, [](SampleWord s) { return s == 0; }));
    for (std::size_t i = 0; i < track.size(); ++i) {
      ASSERT_EQ(track[i],
                i < std::max<std::size_t>(plan.slotSamples, 1) ? c.shape.startHz : kUntouched)
          << i;
    }
  }
}

}  // namespace
