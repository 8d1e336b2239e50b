#include "setup/band_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// The presets' plans are checked by the console transcripts, which list
// their end frequencies and the default plan's every edge.
namespace {

constexpr double kUntouched = -12345.0;
constexpr double kTop = 2147483647.0;
constexpr double kBottom = -2147483648.0;

struct PlanCase {
  const char* name;
  double qFactor;
  std::int32_t bandCount;
  double startHz;
  std::vector<double> firstHighs;  // the leading upper edges, in order
  double endHz;
  bool fits;  // every edge, the truncated start included, in signed 32 bits
};

TEST(BandPlan, EdgesEndFrequencyAndFit) {
  for (const PlanCase& c : std::vector<PlanCase>{
           // 13 / 1.3 lies just below 10; double precision would round it up to 23.
           {"ExtendedPrecision", 1.3, 6, 13.0, {22, 38, 67, 118, 208, 367}, 367, true},
           {"StartBelowOneHertz", 4.0, 4, 0.5, {0, 0, 0, 0}, 0, true},
           {"NegativeStartTruncatedTowardZero", 4.0, 3, -18.5, {-22, -27, -33}, -33, true},
           {"NegativeQShrinks", -4.0, 9, 18.0, {13, 9, 6, 4, 3, 2, 1, 0, 0}, 0, true},
           {"NegativeBandCount", 4.0, -7, -18.7, {}, -18, true},
           {"FullArray", 20.0, kMaxBands, 18.0, {18, 18}, 18, true},
           {"EdgesBeyondThirtyTwoBitsPinnedNotWrapped", 4.0, 85, 18.0, {22}, kTop, false},
           {"LargestStart", 4.0, 0, 2147483647.9, {}, kTop, true},
           {"StartTooLargeEvenWithoutBands", 4.0, 0, 2147483648.0, {}, kTop, false},
           {"SmallestStart", 4.0, -1, -2147483648.9, {}, kBottom, true},
           {"StartTooSmall", 4.0, 0, -2147483649.0, {}, kBottom, false},
           {"NegativeEdgesOverflow", 4.0, 1, kBottom, {kBottom}, kBottom, false},
           {"TinyNegativeQ", -1e-300, 1, 18.0, {kBottom}, kBottom, false},
           {"ZeroStartWithTinyQ", 1e-300, 5, 0.5, {0, 0, 0, 0, 0}, 0, true}}) {
    SCOPED_TRACE(c.name);
    BandPlan plan;
    plan.low.fill(kUntouched);
    plan.high.fill(kUntouched);
    EXPECT_EQ(FindHighFreq(c.qFactor, c.bandCount, c.startHz, plan.low.data(), plan.high.data()),
              c.endHz);
    EXPECT_EQ(plan.low[0], c.startHz) << "the start is stored as entered, untruncated";
    for (std::size_t i = 0; i < c.firstHighs.size(); ++i) {
      EXPECT_EQ(plan.high[i], c.firstHighs[i]) << "edge " << i;
    }
    const auto n = static_cast<std::size_t>(std::max(c.bandCount, 0));
    for (std::size_t i = 1; i < n; ++i) {
      EXPECT_EQ(plan.low[i], plan.high[i - 1]) << "band " << i;
    }
    // Entries past the plan belong to no one and must be left alone.
    if (n < plan.high.size()) {
      EXPECT_EQ(plan.high[n], kUntouched);
      EXPECT_EQ(plan.low[std::max<std::size_t>(n, 1)], kUntouched);
    }
    BandPlan scratch;
    EXPECT_EQ(
        BandPlanFits(c.qFactor, c.bandCount, c.startHz, scratch.low.data(), scratch.high.data()),
        c.fits);
  }
}

}  // namespace
