#include "analysis/harmonic_distortion.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <stdexcept>

#include "analysis/band_analysis.h"
#include "base/fftw_handles.h"

namespace {

// A point averages its band of 1/24 octave (half of it either side); the
// noise floor, smooth over frequency, is averaged over 1/3 octave.
const double kHalfPointBand = std::exp2(1.0 / 48.0);
const double kHalfFloorBand = std::exp2(1.0 / 6.0);
// A frequency counts as below the top when it lies within rounding of it.
constexpr double kTopSlack = 1.0 + 1e-12;
// No window reaches further than this from its arrival (or 1.5 cycles of
// the start, when that is longer): beyond the room's decay a window only
// gathers noise, and narrow ranges would otherwise get windows of many
// seconds.
constexpr double kLongestHalfWindowSeconds = 1.0;
// The harmonics are reported from this far above the start on: below it
// each harmonic's onset at the start of the sweep, a tone that begins
// abruptly at k times the start, spills into the other harmonics' windows
// (an H3 of -15 dB puts up to -36 dB into H4 at the start itself, -60 dB a
// fifth of an octave higher, nothing above the floor a quarter higher).
const double kSettledAbove = std::exp2(kHarmonicsFromOctaves);
// Each window fades in and out over this share of its length.
constexpr double kFadeShare = 1.0 / 4.0;
// The blocks over which the room's decay is followed.
constexpr double kDecayBlockSeconds = 0.005;

// Where the windows lie, in seconds: harmonic k arrives arrival[k] before
// the fundamental, and its window runs from before[k] ahead of that arrival
// to after[k] behind it. Index 0 is unused.
struct Layout {
  int highest = 1;  // the highest order whose band the range reaches
  std::array<double, kHighestHarmonic + 1> arrival{};
  std::array<double, kHighestHarmonic + 1> before{};
  std::array<double, kHighestHarmonic + 1> after{};

  [[nodiscard]] double Length(int k) const {
    return before.at(static_cast<std::size_t>(k)) + after.at(static_cast<std::size_t>(k));
  }
  // The longest window the noise floor is measured in: the 2nd harmonic's
  // (the windows shrink with order), or the fundamental's when the range
  // holds no harmonic.
  [[nodiscard]] double LongestNoise() const { return Length(highest >= 2 ? 2 : 1); }
  // How far before time 0 the earliest window begins, without a time of
  // flight.
  [[nodiscard]] double EarliestWindow() const {
    return arrival.at(static_cast<std::size_t>(highest)) +
           before.at(static_cast<std::size_t>(highest));
  }
  // And the noise stretch before it.
  [[nodiscard]] double LeadSeconds() const { return EarliestWindow() + LongestNoise(); }
};

Layout LayOut(const SweepRange& range, double rateConstant) {
  Layout layout;
  const double top = range.TopHz();
  for (int k = 2; k <= kHighestHarmonic; ++k) {
    if (k * range.startHz <= top * kTopSlack) {
      layout.highest = k;
    }
  }
  const double cap =
      std::max(kLongestHalfWindowSeconds, kDistortionWindowCycles / 2.0 / range.startHz);
  const auto lead = [&](int k) { return rateConstant * std::log(static_cast<double>(k)); };
  for (int k = 1; k <= layout.highest; ++k) {
    const auto at = static_cast<std::size_t>(k);
    layout.arrival.at(at) = lead(k);
    layout.before.at(at) = std::min(cap, (lead(k + 1) - lead(k)) / 2.0);
    // The fundamental's window reaches as far after its arrival as before it.
    layout.after.at(at) =
        k == 1 ? layout.before.at(at) : std::min(cap, (lead(k) - lead(k - 1)) / 2.0);
  }
  return layout;
}

bool Usable(const SweepRange& range, double rateConstant) {
  return rateConstant > 0.0 && std::isfinite(rateConstant) && range.startHz > 0.0 &&
         range.rate > 0.0 && range.startHz <= range.TopHz() * kTopSlack;
}

// The two-sided response as one function of time in samples: beforeZero
// before 0, the impulse from 0; 0 outside both.
class TwoSided {
 public:
  explicit TwoSided(const RoomResponse& room) : room_(room) {}

  [[nodiscard]] double At(std::int64_t t) const {
    if (t >= 0) {
      return t < static_cast<std::int64_t>(room_.impulse.size())
                 ? room_.impulse[static_cast<std::size_t>(t)]
                 : 0.0;
    }
    const std::int64_t i = static_cast<std::int64_t>(room_.beforeZero.size()) + t;
    return i >= 0 ? room_.beforeZero[static_cast<std::size_t>(i)] : 0.0;
  }

 private:
  const RoomResponse& room_;
};

// A band of frequencies, lowHz to highHz.
struct Band {
  double lowHz = 0.0;
  double highHz = 0.0;
};

// The band of width `half` squared (a ratio) centred on hz, cut to [lowest, highest].
Band BandAround(double hz, double half, double lowest = 0.0,
                double highest = std::numeric_limits<double>::infinity()) {
  return {std::max(hz / half, lowest), std::min(hz * half, highest)};
}

// A stretch of the response in samples: [begin, end).
struct Stretch {
  std::int64_t begin = 0;
  std::int64_t end = 0;

  [[nodiscard]] std::int64_t Length() const { return end - begin; }
};

// Where the windows lie in the response, in samples, following the time of
// flight.
struct DistortionWindows {
  Layout layout;
  double rate = 0.0;
  std::int64_t arrival = 0;  // the fundamental's
  // Where the noise stretches after the fundamental begin and those before
  // the harmonics end.
  std::int64_t afterBegin = 0;
  std::int64_t beforeEnd = 0;

  DistortionWindows(const Layout& laidOut, const SweepRange& range, std::int32_t timeOfFlight)
      : layout(laidOut), rate(range.rate), arrival(static_cast<std::int64_t>(timeOfFlight)) {
    afterBegin = arrival + 2 * std::llround(layout.after[1] * rate);
    beforeEnd = WindowOf(layout.highest).begin;
  }

  // Harmonic k's window.
  [[nodiscard]] Stretch WindowOf(int k) const {
    const auto at = static_cast<std::size_t>(k);
    const double at0 = static_cast<double>(arrival) - layout.arrival.at(at) * rate;
    return Stretch{std::llround(at0 - layout.before.at(at) * rate),
                   std::llround(at0 + layout.after.at(at) * rate)};
  }
  // The same window where it measures the noise floor, where no harmonic
  // lies: after the fundamental's window, as far as that window reaches
  // after the arrival, and before the earliest harmonic's window. Noise
  // deconvolved to a time t at frequency F was recorded when the sweep
  // passed F, t later; the first stretch maps the highest frequencies past
  // the end of the recording and the second the lowest before its start,
  // where there is no noise, so the floor is the higher of the two.
  [[nodiscard]] Stretch NoiseAfter(int k) const {
    return Stretch{afterBegin, afterBegin + WindowOf(k).Length()};
  }
  [[nodiscard]] Stretch NoiseBefore(int k) const {
    return Stretch{beforeEnd - WindowOf(k).Length(), beforeEnd};
  }
  // The order of the longest window the noise floor is measured in.
  [[nodiscard]] int LongestNoise() const { return layout.highest >= 2 ? 2 : 1; }
  // The longest window of all, for the transform's length.
  [[nodiscard]] std::int64_t Longest() const {
    std::int64_t longest = 0;
    for (int k = 1; k <= layout.highest; ++k) {
      longest = std::max(longest, WindowOf(k).Length());
    }
    return longest;
  }
};

double HalfHann(std::int64_t index, std::int64_t count) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(index) + 0.5) /
                              static_cast<double>(count));
}

FftwPlan Checked(fftw_plan plan) {
  if (plan == nullptr) {
    throw std::runtime_error("FFTW made no plan for the distortion's transform");
  }
  return FftwPlan(plan);
}

// The power spectra of windowed stretches, one at a time, through one
// transform long enough for the longest.
class WindowSpectra {
 public:
  WindowSpectra(std::size_t size, double rate)
      : size_(size),
        binHz_(rate / static_cast<double>(size)),
        signal_(MakeFftwArray<double>(size)),
        spectrum_(MakeFftwArray<std::complex<double>>(size / 2 + 1)),
        plan_(Checked(fftw_plan_dft_r2c_1d(static_cast<int>(size), signal_.get(),
                                           AsFftw(spectrum_.get()), FFTW_ESTIMATE))),
        cumulative_(size / 2 + 2, 0.0) {}

  // Transforms stretch of response, faded in and out, and keeps its power
  // spectrum's running sum.
  void Take(const TwoSided& response, const Stretch& stretch) {
    const std::int64_t length = stretch.Length();
    const std::int64_t fade = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(std::round(kFadeShare * static_cast<double>(length))));
    for (std::int64_t i = 0; i < length; ++i) {
      double gain = 1.0;
      if (i < fade) {
        gain = HalfHann(i, fade);
      } else if (length - 1 - i < fade) {
        gain = HalfHann(length - 1 - i, fade);
      }
      signal_[static_cast<std::size_t>(i)] = response.At(stretch.begin + i) * gain;
    }
    std::fill(signal_.get() + length, signal_.get() + size_, 0.0);
    fftw_execute(plan_.get());
    for (std::size_t k = 0; k <= size_ / 2; ++k) {
      cumulative_[k + 1] = cumulative_[k] + std::norm(spectrum_[k]);
    }
  }

  // The mean power of the bins in band; when no bin lies inside, the power
  // at its centre between the two nearest bins.
  [[nodiscard]] double BandPower(const Band& band) const {
    const std::size_t lastBin = size_ / 2;
    const auto last = static_cast<double>(lastBin);
    const double from = std::max(0.0, std::ceil(band.lowHz / binHz_));
    const double to = std::min(last, std::floor(band.highHz / binHz_));
    if (from <= to) {
      const auto a = static_cast<std::size_t>(from);
      const auto b = static_cast<std::size_t>(to) + 1;
      return (cumulative_[b] - cumulative_[a]) / static_cast<double>(b - a);
    }
    const double position = std::clamp(std::sqrt(band.lowHz * band.highHz) / binHz_, 0.0, last);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, lastBin);
    const double share = position - static_cast<double>(below);
    return (1.0 - share) * Bin(below) + share * Bin(above);
  }

 private:
  [[nodiscard]] double Bin(std::size_t k) const { return cumulative_[k + 1] - cumulative_[k]; }

  std::size_t size_;
  double binHz_;
  FftwArray<double> signal_;
  FftwArray<std::complex<double>> spectrum_;
  FftwPlan plan_;
  std::vector<double> cumulative_;
};

// How long after searched.begin (the arrival) the response stays within
// kDecayDropDb of its loudest block and clear of the noise in the quiet
// stretches: the end of the last 5 ms block in searched that stands above
// both, less searched.begin, in samples.
std::int64_t DecaySamples(const TwoSided& response, const Stretch& searched,
                          std::span<const Stretch> quiet, double rate) {
  const std::int64_t from = searched.begin;
  const std::int64_t until = searched.end;
  double noise = 0.0;
  for (const Stretch& stretch : quiet) {
    double sum = 0.0;
    for (std::int64_t t = stretch.begin; t < stretch.end; ++t) {
      sum += response.At(t) * response.At(t);
    }
    noise = std::max(noise, sum / static_cast<double>(std::max<std::int64_t>(1, stretch.Length())));
  }
  const auto block = std::max<std::int64_t>(1, std::llround(kDecayBlockSeconds * rate));
  noise *= static_cast<double>(block);
  std::vector<double> energies;
  for (std::int64_t start = from - block / 2; start < until; start += block) {
    double energy = 0.0;
    for (std::int64_t t = start; t < start + block; ++t) {
      energy += response.At(t) * response.At(t);
    }
    energies.push_back(energy);
  }
  const double loudest = energies.empty() ? 0.0 : *std::ranges::max_element(energies);
  const double threshold = std::max(loudest * std::pow(10.0, -kDecayDropDb / 10.0),
                                    noise * std::pow(10.0, kAboveFloorDb / 10.0));
  std::int64_t decay = 0;
  for (std::size_t i = 0; i < energies.size(); ++i) {
    if (energies[i] > threshold) {
      decay = from - block / 2 + static_cast<std::int64_t>(i + 1) * block - from;
    }
  }
  return decay;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string Hz(double lowHz, double highHz) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f-%.0f Hz", lowHz, highHz);
  return text;
}

HarmonicDistortion Refused(std::string reason) {
  HarmonicDistortion result;
  result.refusal = std::move(reason);
  return result;
}

// The reason a sweep is too short: the gap it has, what the windows need,
// and the sweep that would give it.
std::string TooShort(const SweepRange& range, double rateConstant, double needHalfGap,
                     const std::string& why) {
  const double octaveLog = std::log(range.endHz / range.startHz);
  // L = 2 need / ln 2 fills the half gap; a whole number of start cycles
  // per L takes at most ln(end / start) / start more.
  const double seconds =
      2.0 * needHalfGap / std::numbers::ln2 * octaveLog + octaveLog / range.startHz;
  char text[64];
  std::snprintf(text, sizeof text, "%.0f s", std::ceil(seconds));
  return "The sweep is too short to separate the harmonics from the fundamental: its 2nd "
         "harmonic arrives " +
         Seconds(rateConstant * std::numbers::ln2) +
         " before it, and the windows between them need " + Seconds(2.0 * needHalfGap) + " (" +
         why + "). Use a sweep of at least " + text + " over " + Hz(range.startHz, range.endHz) +
         ", or a higher start frequency.";
}

// Half the gap between the 2nd harmonic and the fundamental ends the
// 2nd harmonic's window and begins the fundamental's: it must hold the
// room's decay, and the fundamental's window 3 cycles of the start. Why
// not, if it does not.
std::optional<std::string> DecayRefusal(const TwoSided& response, const SweepRange& range,
                                        double rateConstant, const DistortionWindows& windows) {
  const double rate = range.rate;
  const int longestNoise = windows.LongestNoise();
  const std::array<Stretch, 2> longestQuiet{windows.NoiseAfter(longestNoise),
                                            windows.NoiseBefore(longestNoise)};
  const double decay = static_cast<double>(DecaySamples(
                           response, {windows.arrival, windows.afterBegin}, longestQuiet, rate)) /
                       rate;
  const double cyclesNeed = kDistortionWindowCycles / 2.0 / range.startHz;
  const double halfGap = rateConstant * std::numbers::ln2 / 2.0;
  if (halfGap < std::max(decay, cyclesNeed)) {
    char why[160];
    if (decay >= cyclesNeed) {
      std::snprintf(why, sizeof why, "twice the room's decay of %.2f s to %.0f dB below its peak",
                    decay, kDecayDropDb);
    } else {
      std::snprintf(why, sizeof why, "%.0f cycles of %.0f Hz in the fundamental's window",
                    kDistortionWindowCycles, range.startHz);
    }
    return TooShort(range, rateConstant, std::max(decay, cyclesNeed), why);
  }
  if (windows.layout.after[1] < decay) {
    return "The room's response lasts " + Seconds(decay) +
           ", longer than the windows reach: measure closer to the loudspeaker.";
  }
  return std::nullopt;
}

// Why the windows cannot be measured in the response, if they cannot: it
// must hold them before time zero and the noise after the fundamental, and
// the gap between the fundamental and the 2nd harmonic the room's decay.
std::optional<std::string> Refusal(const RoomResponse& room, const SweepRange& range,
                                   double rateConstant, const DistortionWindows& windows) {
  const double rate = range.rate;
  const int longestNoise = windows.LongestNoise();
  const std::int64_t leadNeeded = -windows.NoiseBefore(longestNoise).begin;
  if (leadNeeded > static_cast<std::int64_t>(room.beforeZero.size())) {
    return "The response holds " + Seconds(static_cast<double>(room.beforeZero.size()) / rate) +
           " before time zero, and the analysis reads " +
           Seconds(static_cast<double>(leadNeeded) / rate) +
           " before it: deconvolve with DistortionLeadSamples of lead.";
  }
  // Beyond this index the circle holds the time before zero again.
  const std::int64_t circleEnd = static_cast<std::int64_t>(room.transformSize) - leadNeeded;
  if (windows.NoiseAfter(longestNoise).end >
      std::min(circleEnd, static_cast<std::int64_t>(room.impulse.size()))) {
    return "The response ends too soon after the fundamental to measure the noise floor: record "
           "longer after the sweep.";
  }
  return DecayRefusal(TwoSided(room), range, rateConstant, windows);
}

// The points, every 1/24 octave from the start up to the top.
std::vector<DistortionPoint> PointsOf(const SweepRange& range) {
  std::vector<DistortionPoint> points;
  const double top = range.TopHz();
  for (int i = 0;; ++i) {
    const double hz = range.startHz * std::exp2(i / kDistortionPointsPerOctave);
    if (hz > top * kTopSlack) {
      break;
    }
    DistortionPoint point;
    point.hz = hz;
    points.push_back(point);
  }
  return points;
}

// What measuring the points reads: the response, where its windows lie and
// the range, and the one transform every window goes through.
struct Measuring {
  const TwoSided& response;
  const DistortionWindows& windows;
  const SweepRange& range;
  WindowSpectra& spectra;
};

// Sets each point's fundamentalDb; returns the fundamental's power there.
std::vector<double> MeasureFundamental(const Measuring& measuring,
                                       std::span<DistortionPoint> points) {
  const SweepRange& range = measuring.range;
  measuring.spectra.Take(measuring.response, measuring.windows.WindowOf(1));
  std::vector<double> fundamental;
  for (DistortionPoint& point : points) {
    // Inside the swept range, as the fine response: outside it the
    // response is 0 by construction.
    fundamental.push_back(measuring.spectra.BandPower(
        BandAround(point.hz, kHalfPointBand, range.startHz, range.TopHz())));
    point.fundamentalDb =
        fundamental.back() > 0.0 ? 10.0 * std::log10(fundamental.back()) : kNoLevelDb;
    point.fundamentalDb = std::max(point.fundamentalDb, kNoLevelDb);
  }
  return fundamental;
}

// Harmonic k's power at k times each point, and the noise floor's there.
struct HarmonicPowers {
  std::vector<double> harmonic;
  std::vector<double> floors;
};

HarmonicPowers MeasureHarmonicPowers(const Measuring& measuring, int k,
                                     std::span<const DistortionPoint> points) {
  const auto order = static_cast<double>(k);
  const double top = measuring.range.TopHz();
  WindowSpectra& spectra = measuring.spectra;
  HarmonicPowers powers{std::vector<double>(points.size()),
                        std::vector<double>(points.size(), 0.0)};
  spectra.Take(measuring.response, measuring.windows.WindowOf(k));
  for (std::size_t p = 0; p < points.size(); ++p) {
    const double hz = order * points[p].hz;
    powers.harmonic[p] = spectra.BandPower(BandAround(hz, kHalfPointBand));
  }
  for (const Stretch& quiet : {measuring.windows.NoiseAfter(k), measuring.windows.NoiseBefore(k)}) {
    spectra.Take(measuring.response, quiet);
    for (std::size_t p = 0; p < points.size(); ++p) {
      const double hz = order * points[p].hz;
      powers.floors[p] =
          std::max(powers.floors[p],
                   spectra.BandPower(BandAround(hz, kHalfFloorBand, 0.0, top / kHalfPointBand)));
    }
  }
  return powers;
}

// Measures harmonic k and its floor, and sets it in the points where it is
// measured, adding its power relative to the fundamental to thdPower.
void MeasureHarmonic(const Measuring& measuring, int k, std::span<const double> fundamental,
                     std::span<DistortionPoint> points, std::span<double> thdPower) {
  const SweepRange& range = measuring.range;
  const double top = range.TopHz();
  const HarmonicPowers powers = MeasureHarmonicPowers(measuring, k, points);
  for (std::size_t p = 0; p < points.size(); ++p) {
    DistortionPoint& point = points[p];
    const double hz = static_cast<double>(k) * point.hz;
    // The band must lie inside the swept range: the response's hard edges
    // ring at the range's ends, in every window alike.
    const bool inRange = hz * kHalfPointBand <= top * kTopSlack &&
                         point.hz >= range.startHz * kSettledAbove / kTopSlack;
    const double floor = powers.floors[p];
    const double harmonic = powers.harmonic[p];
    const bool clear = harmonic > 0.0 && harmonic >= floor * std::pow(10.0, kAboveFloorDb / 10.0);
    if (inRange && clear && fundamental[p] > 0.0) {
      const double ratio = harmonic / fundamental[p];
      point.harmonicDb.at(static_cast<std::size_t>(k - 2)) = 10.0 * std::log10(ratio);
      thdPower[p] += ratio;
      point.thdPercent = 100.0 * std::sqrt(thdPower[p]);
    }
  }
}

}  // namespace

std::size_t DistortionLeadSamples(const SweepRange& range, double rateConstant) {
  if (!Usable(range, rateConstant)) {
    return 0;
  }
  // A few samples more than the windows need, for their rounding.
  return static_cast<std::size_t>(
             std::ceil(LayOut(range, rateConstant).LeadSeconds() * range.rate)) +
         4;
}

HarmonicDistortion MeasureHarmonicDistortion(const RoomResponse& room, const SweepRange& range,
                                             const SweepTiming& timing) {
  const double rateConstant = timing.rateConstant;
  if (!Usable(range, rateConstant)) {
    return Refused(
        "No exponential sweep to measure distortion from: it needs the sweep's rate constant "
        "and a range that reaches above its start.");
  }
  const DistortionWindows windows(LayOut(range, rateConstant), range, timing.timeOfFlight);
  if (std::optional<std::string> reason = Refusal(room, range, rateConstant, windows)) {
    return Refused(std::move(*reason));
  }

  // The points and, for each, the powers the windows give.
  HarmonicDistortion result;
  result.points = PointsOf(range);
  const TwoSided response(room);
  WindowSpectra spectra(SmoothTransformSize(static_cast<std::size_t>(2 * windows.Longest())),
                        range.rate);
  const Measuring measuring{response, windows, range, spectra};
  const std::vector<double> fundamental = MeasureFundamental(measuring, result.points);
  std::vector<double> thdPower(result.points.size(), 0.0);
  for (int k = 2; k <= windows.layout.highest; ++k) {
    MeasureHarmonic(measuring, k, fundamental, result.points, thdPower);
  }
  return result;
}
