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

}  // namespace

NoiseEstimate EstimateNoise(std::span<const double> energy, double rate, double firstIntervalS) {
  NoiseEstimate estimate;
  const std::size_t n = energy.size();
  estimate.crossing = n;
  if (n < 20) {
    return estimate;
  }
  const std::size_t lastTenth = n - n / 10;
  estimate.noisePower = Mean(energy.subspan(lastTenth));

  // (1)-(4): a first line and crossing.
  const auto firstLength = std::clamp<std::size_t>(
      static_cast<std::size_t>(std::lround(firstIntervalS * rate)), 1, n / 4);
  std::vector<double> means = IntervalMeans(energy, firstLength);
  std::size_t peak = Argmax(means);
  estimate.peakPower = means[peak];
  double noiseDb = Db(estimate.noisePower);
  if (!(estimate.peakPower > 0.0) || Db(estimate.peakPower) < noiseDb + kFirstFitAboveNoiseDb) {
    return estimate;
  }
  std::optional<Line> line = FitIntervals(means, firstLength, peak,
                                          FirstBelow(means, peak, noiseDb + kFirstFitAboveNoiseDb));
  if (!line) {
    return estimate;
  }
  // A fast decay falls far within the first interval: where the line starts
  // tells its peak better then.
  estimate.peakPower = std::max(estimate.peakPower, std::pow(10.0, line->intercept / 10.0));
  double crossing = line->Crossing(noiseDb);

  // (5)-(9): intervals to suit the decay, the noise after the crossing, the
  // late decay, a new crossing.
  for (int iteration = 0; iteration < kMostIterations; ++iteration) {
    const double samplesPer10Db = 10.0 / -line->slope;
    // Intervals of a fifth of 10 dB, but none shorter than the first (nor
    // than a third of 10 dB): at low frequencies shorter intervals hold too
    // few independent samples to find a line in.
    const double wanted =
        std::max(samplesPer10Db / kIntervalsPer10Db,
                 std::min(static_cast<double>(firstLength), samplesPer10Db / 3.0));
    const auto length =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(wanted)), 1, n / 4);
    means = IntervalMeans(energy, length);
    const double noiseFrom =
        std::max(0.0, crossing + kNoiseAfterCrossingDb * samplesPer10Db / 10.0);
    const std::size_t noiseStart =
        std::min(lastTenth, static_cast<std::size_t>(std::min(noiseFrom, static_cast<double>(n))));
    const double noise = Mean(energy.subspan(noiseStart));
    noiseDb = Db(noise);
    peak = Argmax(means);
    const std::size_t from = FirstBelow(means, peak, noiseDb + kLateFitTopDb);
    const std::size_t lateFrom = from == means.size() ? peak : std::max(peak, from);
    // To the last interval above noise + 10 dB before the noise estimate
    // begins: a dip in the decay does not cut the fit short.
    const std::optional<Line> late =
        FitIntervals(means, length, lateFrom,
                     LastAbove(means, lateFrom, noiseStart / length, noiseDb + kLateFitBottomDb),
                     kFewestLateIntervals);
    if (!late || late->slope > kSlowestLateSlope * line->slope) {
      break;
    }
    const double previous = crossing;
    estimate.noisePower = noise;
    line = late;
    crossing = line->Crossing(noiseDb);
    if (std::abs(crossing - previous) < static_cast<double>(length)) {
      break;
    }
  }
  crossing = std::clamp(crossing, 0.0, static_cast<double>(n));
  estimate.decays = true;
  estimate.crossing = static_cast<std::size_t>(std::lround(crossing));
  estimate.decayPerSample = -line->slope * std::log(10.0) / 10.0;
  const double levelAtCrossing = std::pow(
      10.0, (line->intercept + line->slope * static_cast<double>(estimate.crossing)) / 10.0);
  estimate.tailEnergy = levelAtCrossing / -std::expm1(-estimate.decayPerSample);
  return estimate;
}
