#include "correction/correction_design.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <span>

#include "correction/filter_fit.h"

namespace {

constexpr int kStepsForNewFilter = 30;
constexpr int kJointSteps = 40;
// A filter whose gain ends below this does nothing a listener would hear.
constexpr double kNegligibleGainDb = 0.25;
constexpr std::size_t kMinRangePoints = 3;
constexpr int kLevelPasses = 3;

// The response inside the range, as the fit sees it.
struct RangeCurve {
  std::vector<double> hz;
  std::vector<std::complex<double>> unitDelays;
  std::vector<double> excessDb;  // response minus target
};

std::string WholeHz(double hz) {
  return std::to_string(static_cast<long long>(hz));
}

std::string CheckRequest(const FineResponse& response, const CorrectionRequest& request) {
  if (response.empty()) {
    return "there is no measurement to correct: run a sweep first";
  }
  if (request.maxFilters < 1) {
    return "at least one filter is needed: ask for 1 or more";
  }
  if (!(request.boostLimitDb >= 0.0 && request.boostLimitDb <= kMostBoostDb)) {
    return "the boost limit must lie between 0 and 3 dB; 0 only cuts";
  }
  if (!(request.lowHz < request.highHz)) {
    return "the range's low end must lie below its high end; choose, for example, 20-500 Hz";
  }
  const double first = response.front().hz;
  const double last = response.back().hz;
  if (!(request.lowHz >= first && request.highHz <= last)) {
    // Rounded inwards, so that the numbers shown are a valid choice.
    return "the response covers " + WholeHz(std::ceil(first)) + "-" + WholeHz(std::floor(last)) +
           " Hz; choose a range inside it";
  }
  return {};
}

double Median(std::vector<double> values) {
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  double median = values[mid];
  if (values.size() % 2 == 0) {
    median = (median + *std::max_element(values.begin(),
                                         values.begin() + static_cast<std::ptrdiff_t>(mid))) /
             2.0;
  }
  return median;
}

// How much of the residual at a point filters could still take away: all of
// an excess, and of a shortfall only what the boost limit leaves.
double Correctable(double residual, double summedGain, double boostLimit) {
  if (residual > 0.0) {
    return residual;
  }
  if (boostLimit <= 0.0) {
    return 0.0;
  }
  return std::min(-residual, boostLimit - summedGain);
}

// A first guess for a filter at point p: the gain that cancels the residual
// there, and the Q of the residual's width at half its height.
PeakingFilter SeedFilter(const RangeCurve& curve, std::span<const double> residual, std::size_t p,
                         const FitLimits& limits) {
  const double half = residual[p] / 2.0;
  const auto beyondHalf = [&](std::size_t i) {
    return half > 0.0 ? residual[i] > half : residual[i] < half;
  };
  std::size_t left = p;
  while (left > 0 && beyondHalf(left - 1)) {
    --left;
  }
  std::size_t right = p;
  while (right + 1 < residual.size() && beyondHalf(right + 1)) {
    ++right;
  }
  double leftOctaves = std::log2(curve.hz[p] / curve.hz[left]);
  double rightOctaves = std::log2(curve.hz[right] / curve.hz[p]);
  // A side cut off by the range's edge is taken to mirror the other.
  if (left == 0) {
    leftOctaves = std::max(leftOctaves, rightOctaves);
  }
  if (right + 1 == residual.size()) {
    rightOctaves = std::max(rightOctaves, leftOctaves);
  }
  const double octaves = std::max(leftOctaves + rightOctaves, 1.0 / 48.0);
  const double ratio = std::exp2(octaves);
  PeakingFilter filter;
  filter.hz = curve.hz[p];
  filter.gainDb = std::clamp(-residual[p], limits.minGainDb, limits.maxGainDb);
  filter.q = std::clamp(std::sqrt(ratio) / (ratio - 1.0), limits.minQ, limits.MaxQAt(filter.hz));
  return filter;
}

// Replaces summed with the filters' summed gain at every point of curve.
void SummedGain(std::span<const PeakingFilter> filters, const RangeCurve& curve,
                std::vector<double>& summed) {
  summed.assign(curve.hz.size(), 0.0);
  for (const PeakingFilter& filter : filters) {
    const BiquadCoefficients section = DesignPeaking(filter);
    for (std::size_t i = 0; i < summed.size(); ++i) {
      summed[i] += 10.0 * std::log10(std::norm(ResponseAt(section, curve.unitDelays[i])));
    }
  }
}

std::vector<PeakingFilter> FitFilters(const RangeCurve& curve, const FitLimits& limits,
                                      std::size_t maxFilters, double boostLimit) {
  const FitTarget whole{curve.unitDelays, curve.excessDb};
  std::vector<PeakingFilter> filters;
  std::vector<double> summed(curve.hz.size(), 0.0);
  std::vector<double> residual(curve.hz.size());
  double cost = FitCost(filters, whole);
  while (filters.size() < maxFilters) {
    std::size_t worst = 0;
    double worstCorrectable = 0.0;
    for (std::size_t i = 0; i < residual.size(); ++i) {
      residual[i] = curve.excessDb[i] + summed[i];
      const double correctable = Correctable(residual[i], summed[i], boostLimit);
      if (correctable > worstCorrectable) {
        worstCorrectable = correctable;
        worst = i;
      }
    }
    if (worstCorrectable <= kExcessToleranceDb) {
      break;
    }
    PeakingFilter added = SeedFilter(curve, residual, worst, limits);
    RefineFilters(std::span(&added, 1), FitTarget{curve.unitDelays, residual}, limits,
                  kStepsForNewFilter);
    std::vector<PeakingFilter> candidate = filters;
    candidate.push_back(added);
    RefineFilters(candidate, whole, limits, kJointSteps);
    const double candidateCost = FitCost(candidate, whole);
    // A filter that does not help means the rest cannot be fixed by filters.
    if (!(candidateCost < cost * (1.0 - 1e-6))) {
      break;
    }
    filters.swap(candidate);
    cost = candidateCost;
    SummedGain(filters, curve, summed);
  }
  const auto negligible = [](const PeakingFilter& f) {
    return std::abs(f.gainDb) < kNegligibleGainDb;
  };
  if (std::erase_if(filters, negligible) > 0) {
    RefineFilters(filters, whole, limits, kJointSteps);
  }
  std::sort(filters.begin(), filters.end(),
            [](const PeakingFilter& a, const PeakingFilter& b) { return a.hz < b.hz; });
  return filters;
}

FineResponse ApplyFilters(const FineResponse& response, std::span<const PeakingFilter> filters) {
  std::vector<BiquadCoefficients> sections;
  for (const PeakingFilter& filter : filters) {
    sections.push_back(DesignPeaking(filter));
  }
  FineResponse corrected = response;
  for (ResponsePoint& point : corrected) {
    const std::complex<double> z1 = CorrectionUnitDelay(point.hz);
    for (const BiquadCoefficients& section : sections) {
      const std::complex<double> h = ResponseAt(section, z1);
      point.db += 20.0 * std::log10(std::abs(h));
      point.phaseDeg += std::arg(h) * 180.0 / std::numbers::pi;
    }
  }
  return corrected;
}

// Minus the largest summed gain of the filters, looked for at the measured
// points and at every filter's centre, where a boost peaks.
double PreGainDb(const FineResponse& response, std::span<const PeakingFilter> filters) {
  double most = 0.0;
  for (const ResponsePoint& point : response) {
    most = std::max(most, SummedGainDb(filters, point.hz));
  }
  for (const PeakingFilter& filter : filters) {
    most = std::max(most, SummedGainDb(filters, filter.hz));
  }
  return most > 0.0 ? -most : 0.0;
}

// The response's points inside the range, and their levels with the
// target's tilt taken out.
struct RangePoints {
  RangeCurve curve;  // without excessDb, which needs the target's level
  std::vector<double> untilted;
};

RangePoints PointsInRange(const FineResponse& response, const CorrectionRequest& request) {
  RangePoints points;
  for (const ResponsePoint& point : response) {
    // A point without a level (a band the sweep never reached) says nothing
    // about the room there.
    if (point.hz < request.lowHz || point.hz > request.highHz || !std::isfinite(point.db)) {
      continue;
    }
    points.curve.hz.push_back(point.hz);
    points.curve.unitDelays.push_back(CorrectionUnitDelay(point.hz));
    points.untilted.push_back(point.db - CorrectionTargetDb(request, 0.0, point.hz));
  }
  return points;
}

FitLimits LimitsFor(const CorrectionRequest& request) {
  return FitLimits{.lowHz = request.lowHz,
                   .highHz = request.highHz,
                   .minGainDb = kDeepestCutDb,
                   .maxGainDb = request.boostLimitDb,
                   .minQ = kMinFilterQ,
                   .maxQ = kMaxFilterQ,
                   .maxModalQ = kMaxModalFilterQ,
                   .modalTopHz = kModalFilterTopHz};
}

// The filters and the target's level.
void FitToMedianLevel(RangePoints& points, const CorrectionRequest& request,
                      CorrectionDesign& design) {
  const FitLimits limits = LimitsFor(request);
  RangeCurve& curve = points.curve;
  const std::vector<double>& untilted = points.untilted;
  // The skirts of the peaks lift the median above the bulk of the response;
  // the median of the corrected response lies closer to it, so the design is
  // repeated against that level.
  std::vector<double> level = untilted;
  for (int pass = 0; pass < kLevelPasses; ++pass) {
    design.targetLevelDb = Median(level);
    curve.excessDb.clear();
    for (const double u : untilted) {
      curve.excessDb.push_back(u - design.targetLevelDb);
    }
    design.filters = FitFilters(curve, limits, static_cast<std::size_t>(request.maxFilters),
                                request.boostLimitDb);
    std::vector<double> summed;
    SummedGain(design.filters, curve, summed);
    for (std::size_t i = 0; i < level.size(); ++i) {
      level[i] = untilted[i] + summed[i];
    }
  }
}

// The largest rise of the corrected response above the target within the
// range, and where it lies.
void FindPeakLeft(const CorrectionRequest& request, CorrectionDesign& design) {
  design.peakLeftDb = -HUGE_VAL;
  for (const ResponsePoint& point : design.corrected) {
    const double excess = point.db - CorrectionTargetDb(request, design.targetLevelDb, point.hz);
    if (point.hz >= request.lowHz && point.hz <= request.highHz && excess > design.peakLeftDb) {
      design.peakLeftDb = excess;
      design.peakLeftHz = point.hz;
    }
  }
}

}  // namespace

double CorrectionTargetDb(const CorrectionRequest& request, double levelDb, double hz) {
  return levelDb + request.tiltDbPerOctave * std::log2(hz / request.lowHz);
}

CorrectionDesign DesignCorrection(const FineResponse& response, const CorrectionRequest& request) {
  CorrectionDesign design;
  design.error = CheckRequest(response, request);
  if (!design.error.empty()) {
    return design;
  }
  RangePoints points = PointsInRange(response, request);
  if (points.curve.hz.size() < kMinRangePoints) {
    design.error = "the range holds fewer than 3 measured points; choose a wider range";
    return design;
  }
  FitToMedianLevel(points, request, design);
  design.preGainDb = PreGainDb(response, design.filters);
  design.corrected = ApplyFilters(response, design.filters);
  FindPeakLeft(request, design);
  return design;
}
