#include "analysis/lundeby.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace {

constexpr double kFirstFitAboveNoiseDb = 10.0;  // the preliminary fit ends here
constexpr double kLateFitTopDb = 30.0;          // the late fit: 30 ...
constexpr double kLateFitBottomDb = 10.0;       // ... to 10 dB above the noise
constexpr double kIntervalsPer10Db = 5.0;
constexpr double kNoiseAfterCrossingDb = 10.0;
constexpr int kMostIterations = 10;
// A late decay slower than this fraction of the line before it is taken for
// a fit gone astray (a dip in the decay, too few intervals), not for a double
// slope, and the iteration keeps what it had.
constexpr double kSlowestLateSlope = 0.25;
constexpr std::size_t kFewestLateIntervals = 3;

double Db(double power) {
  return 10.0 * std::log10(std::max(power, 1e-300));
}

double Mean(std::span<const double> values) {
  return values.empty() ? 0.0
                        : std::accumulate(values.begin(), values.end(), 0.0) /
                              static_cast<double>(values.size());
}

// Mean energy in consecutive intervals of length samples; a last interval
// shorter than half of that is dropped.
std::vector<double> IntervalMeans(std::span<const double> energy, std::size_t length) {
  std::vector<double> means;
  for (std::size_t from = 0; from < energy.size(); from += length) {
    const std::size_t count = std::min(length, energy.size() - from);
    if (2 * count < length && !means.empty()) {
      break;
    }
    means.push_back(Mean(energy.subspan(from, count)));
  }
  return means;
}

// dB = intercept + slope * n, n in samples.
struct Line {
  double intercept = 0.0;
  double slope = 0.0;
  [[nodiscard]] double Crossing(double db) const { return (db - intercept) / slope; }
};

// Least squares through the intervals [from, to) at their centres; none for
// fewer than fewest intervals or a line that does not fall.
std::optional<Line> FitIntervals(const std::vector<double>& means, std::size_t length,
                                 std::size_t from, std::size_t to, std::size_t fewest = 2) {
  if (to > means.size() || to < from + fewest) {
    return std::nullopt;
  }
  double sumX = 0.0;
  double sumY = 0.0;
  double sumXX = 0.0;
  double sumXY = 0.0;
  for (std::size_t k = from; k < to; ++k) {
    const double x = (static_cast<double>(k) + 0.5) * static_cast<double>(length);
    const double y = Db(means[k]);
    sumX += x;
    sumY += y;
    sumXX += x * x;
    sumXY += x * y;
  }
  const auto n = static_cast<double>(to - from);
  const double denominator = n * sumXX - sumX * sumX;
  if (!(denominator > 0.0)) {
    return std::nullopt;
  }
  const double slope = (n * sumXY - sumX * sumY) / denominator;
  if (!(slope < 0.0)) {
    return std::nullopt;
  }
  return Line{(sumY - slope * sumX) / n, slope};
}

// The first interval at or after from whose level is below db, or the count.
std::size_t FirstBelow(const std::vector<double>& means, std::size_t from, double db) {
  for (std::size_t k = from; k < means.size(); ++k) {
    if (Db(means[k]) < db) {
      return k;
    }
  }
  return means.size();
}

// One past the last interval in [from, until) whose level is above db, or
// from when there is none.
std::size_t LastAbove(const std::vector<double>& means, std::size_t from, std::size_t until,
                      double db) {
  for (std::size_t k = std::min(until, means.size()); k > from; --k) {
    if (Db(means[k - 1]) > db) {
      return k;
    }
  }
  return from;
}

std::size_t Argmax(const std::vector<double>& means) {
  return static_cast<std::size_t>(std::max_element(means.begin(), means.end()) - means.begin());
}

// What every step of the estimate works on.
struct NoiseSearch {
  std::span<const double> energy;
  std::size_t firstLength = 1;  // samples in the first smoothing's intervals
  std::size_t lastTenth = 0;    // where the last tenth of energy begins
};

// A decay line and where it meets the noise, in samples.
struct DecayCrossing {
  Line line;
  double crossing = 0.0;
};

// (1)-(4): a first line and crossing; none when no decay stands 10 dB above
// the noise. Sets the estimate's peak.
std::optional<DecayCrossing> FirstCrossing(const NoiseSearch& search, NoiseEstimate& estimate) {
  const std::vector<double> means = IntervalMeans(search.energy, search.firstLength);
  const std::size_t peak = Argmax(means);
  estimate.peakPower = means[peak];
  const double noiseDb = Db(estimate.noisePower);
  if (!(estimate.peakPower > 0.0) || Db(estimate.peakPower) < noiseDb + kFirstFitAboveNoiseDb) {
    return std::nullopt;
  }
  const std::optional<Line> line = FitIntervals(
      means, search.firstLength, peak, FirstBelow(means, peak, noiseDb + kFirstFitAboveNoiseDb));
  if (!line) {
    return std::nullopt;
  }
  // A fast decay falls far within the first interval: where the line starts
  // tells its peak better then.
  estimate.peakPower = std::max(estimate.peakPower, std::pow(10.0, line->intercept / 10.0));
  return DecayCrossing{*line, line->Crossing(noiseDb)};
}

// The intervals' length for a decay of samplesPer10Db.
std::size_t IntervalLength(const NoiseSearch& search, double samplesPer10Db) {
  // Intervals of a fifth of 10 dB, but none shorter than the first (nor
  // than a third of 10 dB): at low frequencies shorter intervals hold too
  // few independent samples to find a line in.
  const double wanted =
      std::max(samplesPer10Db / kIntervalsPer10Db,
               std::min(static_cast<double>(search.firstLength), samplesPer10Db / 3.0));
  return std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(wanted)), 1,
                                 search.energy.size() / 4);
}

// One pass of (5)-(8): the late decay's line, the noise it was fitted above
// and the intervals' length.
struct LateFit {
  std::optional<Line> line;
  double noise = 0.0;
  double noiseDb = 0.0;
  std::size_t length = 1;
};

LateFit FitLateDecay(const NoiseSearch& search, const DecayCrossing& decay) {
  const std::span<const double> energy = search.energy;
  const std::size_t n = energy.size();
  const double samplesPer10Db = 10.0 / -decay.line.slope;
  LateFit late;
  late.length = IntervalLength(search, samplesPer10Db);
  const std::vector<double> means = IntervalMeans(energy, late.length);
  const double noiseFrom =
      std::max(0.0, decay.crossing + kNoiseAfterCrossingDb * samplesPer10Db / 10.0);
  const std::size_t noiseStart = std::min(
      search.lastTenth, static_cast<std::size_t>(std::min(noiseFrom, static_cast<double>(n))));
  late.noise = Mean(energy.subspan(noiseStart));
  late.noiseDb = Db(late.noise);
  const std::size_t peak = Argmax(means);
  const std::size_t from = FirstBelow(means, peak, late.noiseDb + kLateFitTopDb);
  const std::size_t lateFrom = from == means.size() ? peak : std::max(peak, from);
  // To the last interval above noise + 10 dB before the noise estimate
  // begins: a dip in the decay does not cut the fit short.
  late.line = FitIntervals(
      means, late.length, lateFrom,
      LastAbove(means, lateFrom, noiseStart / late.length, late.noiseDb + kLateFitBottomDb),
      kFewestLateIntervals);
  return late;
}

// The estimate's crossing, decay and tail from the last line.
void SetDecay(NoiseEstimate& estimate, const DecayCrossing& decay, std::size_t n) {
  const double crossing = std::clamp(decay.crossing, 0.0, static_cast<double>(n));
  const Line& line = decay.line;
  estimate.decays = true;
  estimate.crossing = static_cast<std::size_t>(std::lround(crossing));
  estimate.decayPerSample = -line.slope * std::log(10.0) / 10.0;
  const double levelAtCrossing =
      std::pow(10.0, (line.intercept + line.slope * static_cast<double>(estimate.crossing)) / 10.0);
  estimate.tailEnergy = levelAtCrossing / -std::expm1(-estimate.decayPerSample);
}

}  // namespace

NoiseEstimate EstimateNoise(std::span<const double> energy, double rate, double firstIntervalS) {
  NoiseEstimate estimate;
  const std::size_t n = energy.size();
  estimate.crossing = n;
  if (n < 20) {
    return estimate;
  }
  const NoiseSearch search{
      energy,
      std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(firstIntervalS * rate)), 1,
                              n / 4),
      n - n / 10};
  estimate.noisePower = Mean(energy.subspan(search.lastTenth));
  std::optional<DecayCrossing> decay = FirstCrossing(search, estimate);
  if (!decay) {
    return estimate;
  }

  // (5)-(9): intervals to suit the decay, the noise after the crossing, the
  // late decay, a new crossing.
  for (int iteration = 0; iteration < kMostIterations; ++iteration) {
    const LateFit late = FitLateDecay(search, *decay);
    if (!late.line || late.line->slope > kSlowestLateSlope * decay->line.slope) {
      break;
    }
    const double previous = decay->crossing;
    estimate.noisePower = late.noise;
    decay = DecayCrossing{*late.line, late.line->Crossing(late.noiseDb)};
    if (std::abs(decay->crossing - previous) < static_cast<double>(late.length)) {
      break;
    }
  }
  SetDecay(estimate, *decay, n);
  return estimate;
}
