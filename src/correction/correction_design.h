#pragma once

#include <string>
#include <vector>

#include "analysis/response_point.h"
#include "correction/peaking_filter.h"

// The bounds every designed filter keeps to.
inline constexpr double kMinFilterQ = 0.5;
inline constexpr double kMaxFilterQ = 10.0;
// Room modes below 100 Hz ring with a Q up to about 25; filters there may
// match them (FitLimits says how the limit falls to kMaxFilterQ above).
inline constexpr double kMaxModalFilterQ = 25.0;
inline constexpr double kModalFilterTopHz = 100.0;
inline constexpr double kDeepestCutDb = -15.0;
inline constexpr double kMostBoostDb = 3.0;  // the largest boost limit a request may set

// An excess over the target this small is left alone: it is within what a
// room changes when the listener moves a little.
inline constexpr double kExcessToleranceDb = 1.0;

struct CorrectionRequest {
  double lowHz = 20.0;  // the range corrected, inside the measured response
  double highHz = 500.0;
  double tiltDbPerOctave = 0.0;  // slope of the target; 0: flat
  int maxFilters = 10;
  double boostLimitDb = 0.0;  // 0: cuts only; at most kMostBoostDb
};

struct CorrectionDesign {
  // Empty when the design succeeded; otherwise what is wrong and what to do,
  // and nothing else is filled in.
  std::string error;
  std::vector<PeakingFilter> filters;  // by rising frequency
  // Minus the filters' largest summed gain, so that together they never raise
  // the level; 0 when they only cut.
  double preGainDb = 0.0;
  // The target's level at the range's low end: the median of the response
  // over the range (with the tilt taken out), so that a peak is what rises
  // above the bulk of the response.
  double targetLevelDb = 0.0;
  // The response with the filters applied (gain and phase) at every measured
  // point, without the pre-gain, to compare with the target.
  FineResponse corrected;
  // The largest rise of the corrected response above the target within the
  // range, and where it lies: what the filters left of the peaks.
  double peakLeftDb = 0.0;
  double peakLeftHz = 0.0;
};

// The target at hz: levelDb + tiltDbPerOctave * log2(hz / lowHz).
double CorrectionTargetDb(const CorrectionRequest& request, double levelDb, double hz);

// Designs up to request.maxFilters peaking filters that bring the response
// down (and, when request.boostLimitDb allows, up) to the target over the
// range: places a filter at the largest excess left, fits it, then refines
// all filters together, until no excess above kExcessToleranceDb is left.
// Pure: prints nothing.
CorrectionDesign DesignCorrection(const FineResponse& response, const CorrectionRequest& request);
