#include "analysis/room_acoustics.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <utility>

#include "analysis/lundeby.h"

// How a band is analysed
// ----------------------
// A band filter rings: its impulse response lasts about 1/bandwidth and, at
// 63 Hz, far longer. Run forwards over the response, that ringing trails into
// the decay and caps the decay times a band can show. So the decay curve
// comes from the band filtered time-reversed: the filter runs over the
// response from its end to its start and its output, read in the reverse
// order, is the band's response. The filter's ringing then falls before the
// onset (earlier in time) instead of into the decay, and an exponential decay
// stays an exponential decay of the same rate however short it is.
//
// What the reversed filter moves before the start is still energy of the
// response: the direct sound's share of the band, above all, which would
// otherwise be lost from the band altogether. So the filter is run on past the
// start (with nothing more to take in) and what it puts out there is added to
// the decay curve at the start; the curve's 0 dB is then the band's whole
// energy from the start on, and the direct sound makes the early drop that
// EDT sees. After the start the curve is scaled by what the reversed filter
// keeps of a decay of the measured rate, so that a decay without direct sound
// continues from 0 dB without a step.
//
// The energy ratios need the energy on either side of 50 and 80 ms, where
// the reversed filter moves late energy early and a forward filter moves
// early energy late, by about the filter's delay either way. The late energy
// is taken as the geometric mean of the two, which cancels that shift (for an
// exponential decay to second order), and the centre time as the mean of
// the two filtered responses' centre times, which cancels it exactly (the
// filter's group delay adds in one and subtracts in the other).
//
// Every curve goes down to Lundeby's crossing with the noise, plus the late
// decay's extrapolated energy beyond it (ISO 3382-1's compensation), and the
// noise's own energy is taken out before the crossing (Chu's subtraction),
// which keeps it from bending the end of the decay up.

namespace {

// Level windows of the decay fits, dB below the start.
struct FitWindow {
  double topDb;
  double bottomDb;
  double rangeNeededDb;  // peak over noise that the fit needs
  // The value is flagged kFlagFilter at or below this many times the band
  // filter's own T20. EDT's 10 dB take half the time of T20's 20 dB, so it
  // needs twice the decay time to span as long a stretch of the filter's
  // time resolution.
  double filterFactor;
};
constexpr FitWindow kEdtWindow{0.0, -10.0, 20.0, 2.0};
constexpr FitWindow kT20Window{-5.0, -25.0, 35.0, 1.0};
constexpr FitWindow kT30Window{-5.0, -35.0, 45.0, 1.0};
constexpr double kEnergyRangeNeededDb = 20.0;
constexpr double kLeastCorrelation = 0.98;

constexpr double kStartBelowPeakDb = 20.0;  // ISO 3382-1: the start
constexpr double kGridS = 0.00025;          // the decay curve's resolution for the fits
constexpr std::size_t kMostPlotPoints = 800;
constexpr double kEnergyTimeLeadS = 0.005;  // the plotted broadband curve starts before the start
constexpr double kMinimumSpanS = 1.0;       // analysed at least this long, when there is that much
constexpr double kSpanOverCrossing = 3.0;   // ... and three times the broadband decay
constexpr double kBroadbandIntervalS = 0.03;
constexpr double kRingBelow = 1e-14;  // a filter's ringing is followed this far down

// A modal region for the waterfall.
constexpr double kModalLowHz = 15.0;
constexpr double kModalHighHz = 300.0;

double Db(double power) {
  return 10.0 * std::log10(std::max(power, 1e-300));
}

// Lundeby's first smoothing interval for a band: longer where the band's
// energy fluctuates slowly.
double FirstIntervalS(double centreHz) {
  return (800.0 / centreHz + 10.0) / 1000.0;
}

// A straight line through a decay curve in dB.
struct Fit {
  double slopeDbPerS = 0.0;
  double interceptDb = 0.0;
  double correlation = 0.0;
  double fromS = 0.0;
  double toS = 0.0;
  double firstDb = 0.0;  // the curve's level where the fit starts
};

// Least squares through the points of curve (dB, one every stepS) from where
// it first falls to window.topDb to where it first falls to
// window.bottomDb; none when it never gets there.
std::optional<Fit> FitDecay(const std::vector<double>& curveDb, double stepS,
                            const FitWindow& window) {
  const auto below = [&](std::size_t from, double db) {
    return static_cast<std::size_t>(
        std::find_if(curveDb.begin() + static_cast<std::ptrdiff_t>(from), curveDb.end(),
                     [db](double level) { return level <= db; }) -
        curveDb.begin());
  };
  const std::size_t first = below(0, window.topDb);
  const std::size_t last = first < curveDb.size() ? below(first, window.bottomDb) : curveDb.size();
  if (last >= curveDb.size() || last <= first) {
    return std::nullopt;
  }
  double sumX = 0.0;
  double sumY = 0.0;
  double sumXX = 0.0;
  double sumXY = 0.0;
  double sumYY = 0.0;
  for (std::size_t k = first; k <= last; ++k) {
    const double x = static_cast<double>(k) * stepS;
    const double y = curveDb[k];
    sumX += x;
    sumY += y;
    sumXX += x * x;
    sumXY += x * y;
    sumYY += y * y;
  }
  const auto n = static_cast<double>(last - first + 1);
  const double sxx = n * sumXX - sumX * sumX;
  const double sxy = n * sumXY - sumX * sumY;
  const double syy = n * sumYY - sumY * sumY;
  if (!(sxx > 0.0)) {
    return std::nullopt;
  }
  Fit fit;
  fit.slopeDbPerS = sxy / sxx;
  fit.interceptDb = (sumY - fit.slopeDbPerS * sumX) / n;
  fit.correlation = syy > 0.0 ? sxy / std::sqrt(sxx * syy) : -1.0;
  fit.fromS = static_cast<double>(first) * stepS;
  fit.firstDb = curveDb[first];
  fit.toS = static_cast<double>(last) * stepS;
  return fit;
}

std::optional<double> DecayTime(const std::optional<Fit>& fit) {
  if (!fit || !(fit->slopeDbPerS < 0.0)) {
    return std::nullopt;
  }
  return -60.0 / fit->slopeDbPerS;
}

// T20 of the band filter's own impulse response: the fastest decay the band
// can be trusted to tell from its filter.
double FilterDecayS(const std::vector<double>& impulse, double rate) {
  std::vector<double> curve(impulse.size());
  double remaining = 0.0;
  for (std::size_t n = impulse.size(); n-- > 0;) {
    remaining += impulse[n] * impulse[n];
    curve[n] = remaining;
  }
  const double total = remaining;
  for (double& level : curve) {
    level = Db(level / total);
  }
  return DecayTime(FitDecay(curve, 1.0 / rate, kT20Window)).value_or(0.0);
}

// The first sample whose square is within 20 dB of the largest square.
std::size_t StartIndex(std::span<const float> impulse, double& peakPower) {
  peakPower = 0.0;
  for (const float x : impulse) {
    peakPower = std::max(peakPower, static_cast<double>(x) * x);
  }
  const double threshold = peakPower * std::pow(10.0, -kStartBelowPeakDb / 10.0);
  for (std::size_t i = 0; i < impulse.size(); ++i) {
    if (static_cast<double>(impulse[i]) * impulse[i] >= threshold) {
      return i;
    }
  }
  return 0;
}

// How much of the response after the start the bands look at: enough for the
// broadband decay to reach its noise and for noise to follow, not the many
// seconds of noise that a long sweep leaves.
std::size_t AnalysedLength(std::span<const float> fromStart, double rate) {
  std::vector<double> energy(fromStart.size());
  for (std::size_t i = 0; i < fromStart.size(); ++i) {
    energy[i] = static_cast<double>(fromStart[i]) * fromStart[i];
  }
  const NoiseEstimate broadband = EstimateNoise(energy, rate, kBroadbandIntervalS);
  const double wanted =
      std::max(kMinimumSpanS * rate, kSpanOverCrossing * static_cast<double>(broadband.crossing));
  return std::min(fromStart.size(), static_cast<std::size_t>(wanted));
}

struct BandResult {
  BandAcoustics values;
  BandDecay decay;
};

// A cascade of sections run sample by sample. Its size is a template
// argument where it is one of the band filters' orders, so that the compiler
// keeps the sections' state in registers: this loop is most of the analysis.
template <std::size_t N>
class FixedCascade {
 public:
  explicit FixedCascade(const std::vector<BiquadCoefficients>& sections) {
    std::copy_n(sections.begin(), N, coefficients_.begin());
  }
  double Process(double v) {
    [&]<std::size_t... S>(std::index_sequence<S...>) {
      ((v = states_[S].Process(coefficients_[S], v)), ...);
    }
    (std::make_index_sequence<N>());
    return v;
  }
  void Reset() { states_ = {}; }

 private:
  std::array<BiquadCoefficients, N> coefficients_{};
  std::array<BiquadState, N> states_{};
};

class AnyCascade {
 public:
  explicit AnyCascade(const std::vector<BiquadCoefficients>& sections)
      : coefficients_(sections), states_(sections.size()) {}
  double Process(double v) {
    for (std::size_t s = 0; s < coefficients_.size(); ++s) {
      v = states_[s].Process(coefficients_[s], v);
    }
    return v;
  }
  void Reset() { std::fill(states_.begin(), states_.end(), BiquadState()); }

 private:
  std::vector<BiquadCoefficients> coefficients_;
  std::vector<BiquadState> states_;
};

// What running a band's filter gives.
struct Filtered {
  std::vector<double> impulse;   // the filter's own impulse response
  std::vector<double> reversed;  // output energy, filtered time-reversed
  double beforeEnergy = 0.0;     // what the reversed filter puts out before the start ...
  double beforeMoment = 0.0;     // ... and that times the samples before the start (negative)
  std::vector<double> forward;   // output energy, filtered forwards
};

template <typename Cascade>
Filtered RunFilter(Cascade cascade, std::span<const float> signal, double rate) {
  Filtered filtered;
  const auto longest = static_cast<std::size_t>(8.0 * rate);
  constexpr std::size_t kBlock = 256;
  // Runs the cascade on silence, from its present state, until the last
  // block's energy is below kRingBelow of reference and what came so far.
  const auto ringOut = [&](double reference, auto&& take) {
    double total = 0.0;
    double recent = 0.0;
    for (std::size_t k = 0; k < longest; ++k) {
      const double v = cascade.Process(0.0);
      take(k, v);
      total += v * v;
      recent += v * v;
      if ((k + 1) % kBlock == 0) {
        if (recent <= kRingBelow * (reference + total)) {
          break;
        }
        recent = 0.0;
      }
    }
  };

  filtered.impulse.push_back(cascade.Process(1.0));
  ringOut(filtered.impulse.front() * filtered.impulse.front(),
          [&](std::size_t, double v) { filtered.impulse.push_back(v); });

  cascade.Reset();
  const std::size_t n = signal.size();
  filtered.reversed.resize(n);
  double reversedSum = 0.0;
  for (std::size_t i = n; i-- > 0;) {
    const double v = cascade.Process(signal[i]);
    filtered.reversed[i] = v * v;
    reversedSum += v * v;
  }
  ringOut(reversedSum, [&](std::size_t k, double v) {
    filtered.beforeEnergy += v * v;
    filtered.beforeMoment -= static_cast<double>(k + 1) * v * v;
  });

  cascade.Reset();
  filtered.forward.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double v = cascade.Process(signal[i]);
    filtered.forward[i] = v * v;
  }
  return filtered;
}

Filtered RunFilter(const std::vector<BiquadCoefficients>& sections, std::span<const float> signal,
                   double rate) {
  switch (sections.size()) {
    case 5:
      return RunFilter(FixedCascade<5>(sections), signal, rate);
    case 6:
      return RunFilter(FixedCascade<6>(sections), signal, rate);
    default:
      return RunFilter(AnyCascade(sections), signal, rate);
  }
}

void SetDecayValue(AcousticValue& value, const std::vector<double>& curveDb,
                   const std::optional<Fit>& fit, const FitWindow& window, double rangeDb,
                   double filterDecayS) {
  value.value = DecayTime(fit);
  // No value: the curve ended above the window's bottom (too little range),
  // or jumped past the whole window at once (see below).
  const bool reached = !curveDb.empty() && curveDb.back() <= window.bottomDb;
  if (rangeDb < window.rangeNeededDb || (!value.value && !reached)) {
    value.flags |= kFlagRange;
  }
  if (!value.value && reached) {
    value.flags |= kFlagFit;
  }
  // Not a line, or a curve that jumps past most of the window at once (its
  // onset holds nearly all of the band's energy) and leaves a few dB to fit.
  if (fit && (std::abs(fit->correlation) < kLeastCorrelation ||
              fit->firstDb < (window.topDb + window.bottomDb) / 2.0)) {
    value.flags |= kFlagFit;
  }
  if (value.value && *value.value <= window.filterFactor * filterDecayS) {
    value.flags |= kFlagFilter;
  }
}

std::optional<DecayLine> LineOf(const std::optional<Fit>& fit) {
  if (!fit) {
    return std::nullopt;
  }
  return DecayLine{fit->fromS, fit->interceptDb + fit->slopeDbPerS * fit->fromS, fit->toS,
                   fit->interceptDb + fit->slopeDbPerS * fit->toS};
}

// Energy and time-weighted energy (in samples from the start) of a filtered
// response up to the crossing, with the tail beyond it.
struct Moments {
  double energy = 0.0;
  double weighted = 0.0;
};
Moments MomentsTo(const std::vector<double>& energy, double noise, std::size_t crossing,
                  double tail, double tailWeighted) {
  Moments moments{tail, tailWeighted};
  for (std::size_t i = 0; i < crossing; ++i) {
    moments.energy += energy[i] - noise;
    moments.weighted += static_cast<double>(i) * (energy[i] - noise);
  }
  return moments;
}

void MarkUnmeasured(BandAcoustics& values) {
  for (AcousticValue* value : {&values.edt, &values.t20, &values.t30, &values.c50, &values.c80,
                               &values.d50, &values.tsMs}) {
    value->flags = kFlagRange;
  }
}

// What a band's analysis works from once Lundeby has found its noise.
struct BandTerms {
  const Filtered& filtered;
  double rate = 0.0;
  std::size_t crossing = 0;
  double lambda = 0.0;  // the late decay's energy falls as exp(-lambda n)
  // The noise's energy is taken out of every sample before the crossing
  // (after Chu), so that it neither props up the end of the decay nor counts
  // as late energy.
  double noisePower = 0.0;
};

// The late decay's energy past the crossing (the compensation), as the
// reversed band, the band itself and the forwards filtered band hold it.
struct Tails {
  double toBand = 1.0;  // reversed band's energy to the band's, for a decay of rate lambda
  double reversed = 0.0;
  double band = 0.0;
  double forward = 0.0;
};

// A reversed filter's output holds sum(h^2 e^(-lambda tau)) of a decaying
// input's energy where the band holds sum(h^2): toBand turns the one into
// the other, for the compensation (the late decay's energy past the
// crossing) and for the decay curve after the start.
double ToBand(const std::vector<double>& impulse, double lambda) {
  double plain = 0.0;
  double weightedDown = 0.0;
  const double decayPerSample = std::exp(-lambda);
  double weight = 1.0;
  for (const double h : impulse) {
    plain += h * h;
    weightedDown += h * h * weight;
    weight *= decayPerSample;
  }
  return weightedDown > 0.0 ? plain / weightedDown : 1.0;
}

// The forwards filtered band's tail, from its own level over the last 10 dB
// or so before the crossing, relative to the reversed one's.
double ForwardTail(const BandTerms& terms, double tailReversed) {
  const std::size_t crossing = terms.crossing;
  const std::size_t lastStretch = std::min(
      crossing, static_cast<std::size_t>(std::max(1.0, std::round(std::log(10.0) / terms.lambda))));
  const auto sumOver = [&](const std::vector<double>& energy) {
    return std::accumulate(energy.begin() + static_cast<std::ptrdiff_t>(crossing - lastStretch),
                           energy.begin() + static_cast<std::ptrdiff_t>(crossing), 0.0) -
           terms.noisePower * static_cast<double>(lastStretch);
  };
  const double reversedLast = sumOver(terms.filtered.reversed);
  const double forwardLast = sumOver(terms.filtered.forward);
  return tailReversed *
         (reversedLast > 0.0 && forwardLast > 0.0 ? forwardLast / reversedLast : 1.0);
}

Tails TailsOf(const BandTerms& terms, double tailEnergy) {
  Tails tails;
  tails.toBand = ToBand(terms.filtered.impulse, terms.lambda);
  tails.reversed = tailEnergy;
  tails.band = tails.reversed * tails.toBand;
  tails.forward = ForwardTail(terms, tails.reversed);
  return tails;
}

// The time-weighted energy of a tail: its energy times its centre time.
double TailMoment(const BandTerms& terms, double tail) {
  return tail * (static_cast<double>(terms.crossing) + 1.0 / terms.lambda);
}

struct DecayCurve {
  // The reversed band's energy from each sample to the crossing, noise taken
  // out, in its own terms.
  std::vector<double> after;
  double total = 0.0;      // the band's whole energy from the start on
  std::size_t grid = 1;    // samples per point of db
  std::vector<double> db;  // re total, up to the crossing
};

// The decay curve: at the start all of the band's energy; after it the
// reversed band's energy from each time on, in the band's terms, so that a
// decay meets its start without a step and only a direct sound makes one.
DecayCurve MakeDecayCurve(const BandTerms& terms, const Tails& tails) {
  DecayCurve curve;
  curve.after.assign(terms.crossing + 1, 0.0);
  for (std::size_t i = terms.crossing; i-- > 0;) {
    curve.after[i] =
        std::max(0.0, curve.after[i + 1] + terms.filtered.reversed[i] - terms.noisePower);
  }
  curve.total = curve.after[0] + terms.filtered.beforeEnergy + tails.band;
  curve.grid = static_cast<std::size_t>(std::max(1.0, std::round(kGridS * terms.rate)));
  for (std::size_t i = 0; i < terms.crossing; i += curve.grid) {
    curve.db.push_back(Db(
        (i == 0 ? curve.total : (curve.after[i] + tails.reversed) * tails.toBand) / curve.total));
  }
  return curve;
}

// The band's energy from seconds after the start on: the geometric mean of
// the reversed and the forwards filtered band's (see above).
double LateEnergy(const BandTerms& terms, const Tails& tails, const DecayCurve& curve,
                  double seconds) {
  const auto i = static_cast<std::size_t>(std::lround(seconds * terms.rate));
  if (i >= terms.crossing) {
    return tails.band * std::exp(-terms.lambda * static_cast<double>(i - terms.crossing));
  }
  double forwardLate = tails.forward;
  for (std::size_t j = i; j < terms.crossing; ++j) {
    forwardLate += terms.filtered.forward[j] - terms.noisePower;
  }
  return std::sqrt((curve.after[i] + tails.reversed) * std::max(forwardLate, tails.forward));
}

// Energy ratios and centre time.
void SetEnergyValues(BandAcoustics& values, const BandTerms& terms, const Tails& tails,
                     const DecayCurve& curve) {
  const Filtered& filtered = terms.filtered;
  const Moments reversedMoments = MomentsTo(filtered.reversed, terms.noisePower, terms.crossing,
                                            tails.reversed, TailMoment(terms, tails.reversed));
  const Moments forwardMoments = MomentsTo(filtered.forward, terms.noisePower, terms.crossing,
                                           tails.forward, TailMoment(terms, tails.forward));
  const double late50 = LateEnergy(terms, tails, curve, 0.05);
  const double late80 = LateEnergy(terms, tails, curve, 0.08);
  const double centreReversed = (reversedMoments.weighted + filtered.beforeMoment) /
                                (reversedMoments.energy + filtered.beforeEnergy);
  const double centreForward = forwardMoments.weighted / forwardMoments.energy;
  const double total = curve.total;
  const unsigned energyFlags = values.rangeDb >= kEnergyRangeNeededDb ? 0U : kFlagRange;
  // A late part further below the whole than the band's range lies under its
  // noise: the ratio then says how quiet the noise is, not the room (an
  // anechoic response would read hundreds of dB).
  const auto resolved = [&](double late) {
    return late > 0.0 && Db(total / late) <= values.rangeDb ? 0U : kFlagRange;
  };
  const struct {
    AcousticValue* value;
    double number;
    unsigned flags;
  } energyValues[] = {
      {&values.c50, Db((total - late50) / late50), resolved(late50)},
      {&values.c80, Db((total - late80) / late80), resolved(late80)},
      {&values.d50, (total - late50) / total, resolved(late50)},
      {&values.tsMs, 1000.0 * (centreReversed + centreForward) / 2.0 / terms.rate, 0U}};
  for (const auto& energy : energyValues) {
    energy.value->value = energy.number;
    energy.value->flags = energyFlags | energy.flags;
  }
}

// At most kMostPlotPoints of curve, for plotting.
SampledCurve Decimated(const std::vector<double>& curve, double stepS) {
  SampledCurve decimated;
  const std::size_t every = (curve.size() + kMostPlotPoints - 1) / kMostPlotPoints;
  decimated.stepS = stepS * static_cast<double>(every);
  for (std::size_t k = 0; k < curve.size(); k += every) {
    decimated.db.push_back(static_cast<float>(curve[k]));
  }
  return decimated;
}

// EDT, T20 and T30 from the decay curve (after the energy values, whose
// flags they may add to), and what the plot shows of them.
BandDecay SetDecayValues(BandAcoustics& values, const std::vector<double>& curve, double stepS) {
  const std::optional<Fit> edt = FitDecay(curve, stepS, kEdtWindow);
  const std::optional<Fit> t20 = FitDecay(curve, stepS, kT20Window);
  const std::optional<Fit> t30 = FitDecay(curve, stepS, kT30Window);
  SetDecayValue(values.edt, curve, edt, kEdtWindow, values.rangeDb, values.filterDecayS);
  SetDecayValue(values.t20, curve, t20, kT20Window, values.rangeDb, values.filterDecayS);
  SetDecayValue(values.t30, curve, t30, kT30Window, values.rangeDb, values.filterDecayS);
  // A decay as fast as the filter's own leaves the energy's spread in time
  // to the filter as much as to the room.
  const std::optional<double> decayS = values.t30.value ? values.t30.value : values.t20.value;
  if (decayS && *decayS <= values.filterDecayS) {
    for (AcousticValue* value : {&values.c50, &values.c80, &values.d50, &values.tsMs}) {
      value->flags |= kFlagFilter;
    }
  }
  BandDecay decay;
  decay.t20 = LineOf(t20);
  decay.t30 = LineOf(t30);
  decay.schroeder = Decimated(curve, stepS);
  return decay;
}

BandResult AnalyseBand(std::span<const float> fromStart, const FilterBand& band, double rate,
                       double broadbandPeak) {
  BandResult result;
  BandAcoustics& values = result.values;
  values.centreHz = band.exactHz;
  values.nominalHz = band.nominalHz;
  const Filtered filtered = RunFilter(band.sections, fromStart, rate);
  values.filterDecayS = FilterDecayS(filtered.impulse, rate);
  const double reversedSum =
      std::accumulate(filtered.reversed.begin(), filtered.reversed.end(), 0.0);

  const NoiseEstimate noise = EstimateNoise(filtered.reversed, rate, FirstIntervalS(band.exactHz));
  values.rangeDb = noise.peakPower > 0.0 && noise.noisePower > 0.0
                       ? Db(noise.peakPower) - Db(noise.noisePower)
                       : 0.0;
  values.noiseDb = broadbandPeak > 0.0 ? Db(noise.noisePower) - Db(broadbandPeak) : 0.0;
  if (!noise.decays || noise.crossing == 0 || !(reversedSum > 0.0)) {
    MarkUnmeasured(values);
    return result;
  }
  values.truncationS = static_cast<double>(noise.crossing) / rate;
  const BandTerms terms{filtered, rate, noise.crossing, noise.decayPerSample, noise.noisePower};
  const Tails tails = TailsOf(terms, noise.tailEnergy);
  const DecayCurve curve = MakeDecayCurve(terms, tails);
  SetEnergyValues(values, terms, tails, curve);
  result.decay = SetDecayValues(values, curve.db, static_cast<double>(curve.grid) / rate);
  return result;
}

// 10 log10(h^2 / peak), the largest in each step, from a little before the
// start to the end of what the bands look at.
SampledCurve EnergyTime(std::span<const float> impulse, std::size_t start, std::size_t end,
                        double rate, double peakPower) {
  SampledCurve curve;
  const std::size_t lead = std::min(start, static_cast<std::size_t>(kEnergyTimeLeadS * rate));
  const std::size_t from = start - lead;
  const std::size_t step = std::max<std::size_t>(1, (end - from) / (2 * kMostPlotPoints));
  curve.firstS = -static_cast<double>(lead) / rate;
  curve.stepS = static_cast<double>(step) / rate;
  if (!(peakPower > 0.0)) {
    return curve;
  }
  for (std::size_t i = from; i < end; i += step) {
    double largest = 0.0;
    for (std::size_t j = i; j < std::min(end, i + step); ++j) {
      largest = std::max(largest, static_cast<double>(impulse[j]) * impulse[j]);
    }
    curve.db.push_back(static_cast<float>(Db(largest / peakPower)));
  }
  return curve;
}

}  // namespace

RoomAcoustics AnalyseRoomAcoustics(std::span<const float> impulse,
                                   const AcousticsRequest& request) {
  RoomAcoustics room;
  room.rate = request.rate;
  const std::vector<FilterBand> bands =
      DesignBandFilters(request.resolution, request.startHz, request.topHz, request.rate);
  double peakPower = 0.0;
  room.startIndex = StartIndex(impulse, peakPower);
  const std::span<const float> fromStart =
      impulse.subspan(room.startIndex, peakPower > 0.0 ? impulse.size() - room.startIndex : 0);
  const std::span<const float> analysed = fromStart.first(AnalysedLength(fromStart, request.rate));
  for (const FilterBand& band : bands) {
    BandResult result = AnalyseBand(analysed, band, request.rate, peakPower);
    room.bands.push_back(result.values);
    room.decays.push_back(std::move(result.decay));
  }
  room.energyTime = EnergyTime(impulse, room.startIndex, room.startIndex + analysed.size(),
                               request.rate, peakPower);
  if (peakPower > 0.0) {
    room.waterfall = ComputeSpectralDecay(impulse, room.startIndex,
                                          {.rate = request.rate,
                                           .lowHz = std::max(kModalLowHz, request.startHz),
                                           .highHz = std::min(kModalHighHz, request.topHz)});
  }
  return room;
}

MidFrequencySummary SummariseMidFrequencies(std::span<const BandAcoustics> bands) {
  MidFrequencySummary summary;
  double reverberation = 0.0;
  double edt = 0.0;
  double c80 = 0.0;
  int edtCount = 0;
  int c80Count = 0;
  for (const BandAcoustics& band : bands) {
    if (band.nominalHz != 500.0 && band.nominalHz != 1000.0) {
      continue;
    }
    const AcousticValue& decay = band.t30.Usable() ? band.t30 : band.t20;
    if (decay.Usable()) {
      reverberation += *decay.value;
      ++(band.t30.Usable() ? summary.t30Bands : summary.t20Bands);
    }
    if (band.edt.Usable()) {
      edt += *band.edt.value;
      ++edtCount;
    }
    if (band.c80.Usable()) {
      c80 += *band.c80.value;
      ++c80Count;
    }
    if (decay.Usable() || band.edt.Usable() || band.c80.Usable()) {
      summary.bandsHz.push_back(band.nominalHz);
    }
  }
  if (const int count = summary.t30Bands + summary.t20Bands; count > 0) {
    summary.reverberationS = reverberation / count;
  }
  if (edtCount > 0) {
    summary.edtS = edt / edtCount;
  }
  if (c80Count > 0) {
    summary.c80Db = c80 / c80Count;
  }
  return summary;
}

namespace {

AveragedValue Average(const std::vector<double>& values) {
  AveragedValue average;
  average.count = static_cast<int>(values.size());
  if (values.empty()) {
    return average;
  }
  const double mean =
      std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
  average.mean = mean;
  if (values.size() >= 2) {
    double squares = 0.0;
    for (const double v : values) {
      squares += (v - mean) * (v - mean);
    }
    average.sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
  }
  return average;
}

}  // namespace

std::vector<BandAverage> AverageAcoustics(std::span<const RoomAcoustics> runs) {
  using Member = AcousticValue BandAcoustics::*;
  static constexpr std::array<Member, 7> kMembers{
      &BandAcoustics::edt, &BandAcoustics::t20, &BandAcoustics::t30, &BandAcoustics::c50,
      &BandAcoustics::c80, &BandAcoustics::d50, &BandAcoustics::tsMs};
  struct Collected {
    double centreHz = 0.0;
    int runs = 0;
    std::array<std::vector<double>, 7> values;
  };
  std::map<double, Collected> byBand;
  for (const RoomAcoustics& run : runs) {
    for (const BandAcoustics& band : run.bands) {
      Collected& collected = byBand[band.nominalHz];
      collected.centreHz = band.centreHz;
      ++collected.runs;
      for (std::size_t m = 0; m < kMembers.size(); ++m) {
        const AcousticValue& value = band.*kMembers[m];
        if (value.Usable()) {
          collected.values[m].push_back(*value.value);
        }
      }
    }
  }
  std::vector<BandAverage> averages;
  for (const auto& [nominalHz, collected] : byBand) {
    BandAverage& average = averages.emplace_back();
    average.nominalHz = nominalHz;
    average.centreHz = collected.centreHz;
    average.runs = collected.runs;
    std::array<AveragedValue*, 7> targets{&average.edt, &average.t20, &average.t30, &average.c50,
                                          &average.c80, &average.d50, &average.tsMs};
    for (std::size_t m = 0; m < kMembers.size(); ++m) {
      *targets[m] = Average(collected.values[m]);
    }
  }
  return averages;
}
