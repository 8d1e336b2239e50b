#pragma once

#include <complex>
#include <span>

#include "correction/peaking_filter.h"

// The curve that a set of filters is fitted to: at each point the excess in
// dB of the response over its target, which the filters' summed gain should
// cancel, and the point's unit delay (CorrectionUnitDelay of its frequency).
struct FitTarget {
  std::span<const std::complex<double>> unitDelays;
  std::span<const double> excessDb;  // as many as unitDelays
};

// Where a fitted filter may go. Room modes in the deep bass are narrower
// than anything above: up to modalTopHz a filter may reach maxModalQ, from
// twice that maxQ, and between the two the limit falls steadily (in log Q
// over log frequency).
struct FitLimits {
  double lowHz = 20.0;
  double highHz = 500.0;
  double minGainDb = -15.0;
  double maxGainDb = 0.0;
  double minQ = 0.5;
  double maxQ = 10.0;
  double maxModalQ = 25.0;
  double modalTopHz = 100.0;

  // The highest Q a filter at hz may have.
  [[nodiscard]] double MaxQAt(double hz) const;
};

// The sum over the points of (excess + the filters' summed gain)^2.
double FitCost(std::span<const PeakingFilter> filters, const FitTarget& target);

// Moves the filters' frequencies, gains and Qs, each kept within limits, to
// lower FitCost by at most maxSteps Levenberg-Marquardt steps on log
// frequency, gain and log Q; stops early once a step no longer helps. The
// filters must start within limits.
void RefineFilters(std::span<PeakingFilter> filters, const FitTarget& target,
                   const FitLimits& limits, int maxSteps);
