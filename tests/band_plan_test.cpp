#include "measurement/band_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kUntouched = -12345.0;

struct PlanCase {
  std::string name;
  double qFactor;
  std::int32_t bandCount;
  double startHz;
  std::vector<double> firstHighs;  // the leading upper edges, in order
  double endHz;
};

void ExpectPlan(const PlanCase& c) {
  SCOPED_TRACE(c.name);
  BandPlan plan;
  plan.low.fill(kUntouched);
  plan.high.fill(kUntouched);

  const double endHz =
      FindHighFreq(c.qFactor, c.bandCount, c.startHz, plan.low.data(), plan.high.data());

  EXPECT_EQ(endHz, c.endHz);
  EXPECT_EQ(plan.low[0], c.startHz) << "the start is stored as entered, untruncated";
  for (std::size_t i = 0; i < c.firstHighs.size(); ++i) {
    EXPECT_EQ(plan.high[i], c.firstHighs[i]) << "edge " << i;
  }
  const auto n = static_cast<std::size_t>(std::max(c.bandCount, 0));
  if (n > 0) {
    EXPECT_EQ(plan.high[n - 1], endHz);
  }
  for (std::size_t i = 1; i < n; ++i) {
    EXPECT_EQ(plan.low[i], plan.high[i - 1]) << "band " << i;
  }
  // Entries past the plan belong to no one and must be left alone.
  if (n < plan.high.size()) {
    EXPECT_EQ(plan.high[n], kUntouched);
    EXPECT_EQ(plan.low[std::max<std::size_t>(n, 1)], kUntouched);
  }
}

TEST(BandPlan, EdgesAndEndFrequency) {
  for (const PlanCase& c : std::vector<PlanCase>{
           {"Preset1", 4.0, 31, 18.0, {22, 27, 33, 41, 51, 63}, 16175},
           {"Preset2", 1.3, 12, 18.0, {31, 54, 95, 168, 297, 525}, 16075},
           {"Preset3", 6.0, 20, 18.0, {21, 24, 28, 32, 37, 43}, 355},
           {"Preset4", 2.0, 8, 18.0, {27, 40, 60, 90, 135, 202, 303, 454}, 454},
           {"Preset5", 5.0, 16, 300.0, {360, 432, 518, 621, 745}, 5524},
           // 13 / 1.3 lies just below 10; double precision would round it up to 23.
           {"ExtendedPrecision", 1.3, 6, 13.0, {22, 38, 67, 118, 208, 367}, 367},
           {"FractionalStartTruncated", 4.0, 3, 18.7, {22, 27, 33}, 33},
           {"QAboveStartGivesZeroWidth", 20.0, 5, 18.0, {18, 18, 18, 18, 18}, 18},
           {"StartBelowOneHertz", 4.0, 4, 0.5, {0, 0, 0, 0}, 0},
           {"NegativeStart", 4.0, 3, -18.5, {-22, -27, -33}, -33},
           {"NegativeQShrinks", -4.0, 9, 18.0, {13, 9, 6, 4, 3, 2, 1, 0, 0}, 0},
           {"OneBand", 4.0, 1, 18.0, {22}, 22},
           {"NoBands", 4.0, 0, 18.7, {}, 18},
           {"NegativeBandCount", 4.0, -7, -18.7, {}, -18},
           {"FullArray", 20.0, kMaxBands, 18.0, {18, 18}, 18}}) {
    ExpectPlan(c);
  }
}

struct FitCase {
  std::string name;
  double qFactor;
  std::int32_t bandCount;
  double startHz;
  bool fits;
};

TEST(BandPlan, ToldWhetherEveryEdgeStaysInThirtyTwoBits) {
  BandPlan scratch;
  for (const FitCase& c :
       std::vector<FitCase>{{"Q4Has83Edges", 4.0, 83, 18.0, true},
                            {"Q4The84thEdgeOverflows", 4.0, 84, 18.0, false},
                            {"Q13Has32Edges", 1.3, 32, 18.0, true},
                            {"Q13The33rdEdgeOverflows", 1.3, 33, 18.0, false},
                            {"LargestStart", 4.0, 0, 2147483647.9, true},
                            {"StartTooLargeEvenWithoutBands", 4.0, 0, 2147483648.0, false},
                            {"SmallestStart", 4.0, -1, -2147483648.9, true},
                            {"StartTooSmall", 4.0, 0, -2147483649.0, false},
                            {"NegativeEdgesOverflow", 4.0, 1, -2147483648.0, false},
                            {"TinyQ", 1e-300, 1, 18.0, false},
                            {"TinyNegativeQ", -1e-300, 1, 18.0, false},
                            {"ZeroStartWithTinyQ", 1e-300, 5, 0.5, true}}) {
    EXPECT_EQ(
        BandPlanFits(c.qFactor, c.bandCount, c.startHz, scratch.low.data(), scratch.high.data()),
        c.fits)
        << c.name;
  }
}

TEST(BandPlan, EdgesBeyondThirtyTwoBitsArePinnedNotWrapped) {
  BandPlan plan;
  const double endHz = FindHighFreq(4.0, 90, 18.0, plan.low.data(), plan.high.data());
  EXPECT_EQ(plan.high[82], 1770582297.0);
  EXPECT_EQ(plan.high[83], std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(endHz, std::numeric_limits<std::int32_t>::max());
}

}  // namespace
