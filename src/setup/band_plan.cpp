#include "setup/band_plan.h"

#include <cmath>
#include <limits>

namespace {

// Exclusive bounds of the values that truncate into a signed 32-bit edge.
constexpr long double kBelowInt32 = -2147483649.0L;
constexpr long double kAboveInt32 = 2147483648.0L;

bool TruncatesIntoInt32(long double value) {
  return value > kBelowInt32 && value < kAboveInt32;  // false for NaN as well
}

// Truncation toward zero that cannot overflow: values outside the range are
// pinned to its ends, NaN becomes 0.
std::int32_t TruncateSaturated(long double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (!(value > kBelowInt32)) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (!(value < kAboveInt32)) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

// The next upper edge from the whole-hertz edge below it. The sum is formed in
// long double (64-bit significand on x86-64) because double rounding would
// push quotients lying just below a whole number up to it: 13 Hz with Q 1.3
// must give 22, not 23.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an edge and a Q do not mix up
long double NextEdgeExact(std::int32_t edge, double qFactor) {
  const auto f = static_cast<long double>(edge);
  return f + f / static_cast<long double>(qFactor);
}

// Shared by both entry points: fills the plan and tells whether every edge
// stayed inside the signed 32-bit range. Out-of-range edges are limited.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the plan's own three numbers
bool ComputePlan(double qFactor, std::int32_t bandCount, double startHz, double* low, double* high,
                 double* endHz) {
  bool fits = TruncatesIntoInt32(static_cast<long double>(startHz));
  std::int32_t f = TruncateSaturated(static_cast<long double>(startHz));
  low[0] = startHz;
  if (bandCount <= 0) {
    *endHz = static_cast<double>(f);
    return fits;
  }
  for (std::int32_t i = 0; i < bandCount; ++i) {
    const long double next = NextEdgeExact(f, qFactor);
    fits = fits && TruncatesIntoInt32(next);
    f = TruncateSaturated(next);
    high[i] = static_cast<double>(f);
  }
  for (std::int32_t i = 1; i < bandCount; ++i) {
    low[i] = high[i - 1];
  }
  *endHz = high[bandCount - 1];
  return fits;
}

}  // namespace

double FindHighFreq(double qFactor, std::int32_t bandCount, double startHz, double* low,
                    double* high) {
  double endHz = 0.0;
  ComputePlan(qFactor, bandCount, startHz, low, high, &endHz);
  return endHz;
}

bool BandPlanFits(double qFactor, std::int32_t bandCount, double startHz, double* low,
                  double* high) {
  double endHz = 0.0;
  return ComputePlan(qFactor, bandCount, startHz, low, high, &endHz);
}
