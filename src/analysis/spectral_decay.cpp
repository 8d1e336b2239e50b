#include "analysis/spectral_decay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <ranges>

#include "base/fftw_handles.h"
#include "signals/biquad.h"

namespace {

constexpr double kPointsPerOctave = 48.0;
const double kSmoothingHalfWidth = std::exp2(1.0 / 48.0);  // 1/24 octave in all
// The decimated rate is at least this many times highHz: what aliases into
// the range then lies more than 3 * highHz up, where the low-pass below has
// cut it by 70 dB or more.
constexpr double kRateOverTop = 5.0;
constexpr double kCutoffOverTop = 4.0 / 3.0;
// Butterworth Qs of an 8th-order low-pass as four sections.
constexpr std::array<double, 4> kButterworthQ{0.5098, 0.6013, 0.9000, 2.5629};
constexpr double kFloorDb = -120.0;

// Low-passes signal forwards and backwards: no delay, so every slice starts
// where it should.
void LowPassZeroPhase(std::vector<double>& signal, double cutoffHz, double rate) {
  for (const double q : kButterworthQ) {
    const BiquadCoefficients section =
        DesignBiquad({.shape = BiquadShape::kLowpass, .hz = cutoffHz, .q = q}, rate);
    BiquadState forward;
    for (double& x : signal) {
      x = forward.Process(section, x);
    }
    BiquadState backward;
    for (double& x : std::ranges::reverse_view(signal)) {
      x = backward.Process(section, x);
    }
  }
}

// How the slices lie in the response, at the decimated rate.
struct SliceLayout {
  std::size_t factor = 1;  // the decimation
  double lowRate = 0.0;    // the rate after it
  std::size_t windowLength = 0;
  std::size_t step = 0;  // from one slice to the next
  std::size_t slices = 0;
};

// None when the available samples after the start leave too short a window.
std::optional<SliceLayout> LayOutSlices(std::size_t available,
                                        const SpectralDecayRequest& request) {
  const double rate = request.rate;
  SliceLayout layout;
  layout.factor =
      static_cast<std::size_t>(std::max(1.0, std::floor(rate / (kRateOverTop * request.highHz))));
  layout.lowRate = rate / static_cast<double>(layout.factor);
  const double availableS = static_cast<double>(available) / rate;
  double spanS = request.spanS;
  double windowS = request.windowS;
  if (spanS + windowS > availableS) {
    // A short response: the window keeps at least half its length, and the
    // slices stop earlier.
    windowS = std::max(std::min(windowS, availableS - spanS), std::min(windowS / 2.0, availableS));
    spanS = std::max(0.0, std::min(spanS, availableS - windowS));
  }
  layout.windowLength = static_cast<std::size_t>(std::floor(windowS * layout.lowRate));
  if (layout.windowLength < 8) {
    return std::nullopt;
  }
  layout.step =
      static_cast<std::size_t>(std::max(1.0, std::round(request.sliceStepS * layout.lowRate)));
  layout.slices = static_cast<std::size_t>(
                      std::floor(spanS * layout.lowRate / static_cast<double>(layout.step))) +
                  1;
  return layout;
}

// The low-passed response, from the start to the end of the last window.
std::vector<double> LowPassedResponse(std::span<const float> impulse, std::size_t start,
                                      const SliceLayout& layout,
                                      const SpectralDecayRequest& request) {
  const std::size_t used = std::min(
      impulse.size() - start,
      ((layout.slices - 1) * layout.step + layout.windowLength) * layout.factor + layout.factor);
  std::vector<double> filtered(impulse.begin() + static_cast<std::ptrdiff_t>(start),
                               impulse.begin() + static_cast<std::ptrdiff_t>(start + used));
  LowPassZeroPhase(filtered, kCutoffOverTop * request.highHz, request.rate);
  return filtered;
}

// A zero-padded transform of one slice's window at a time.
struct SliceTransform {
  std::size_t size = 1;
  FftwArray<double> frame;
  FftwArray<std::complex<double>> spectrum;
  FftwPlan plan;
};

SliceTransform MakeSliceTransform(std::size_t windowLength) {
  SliceTransform transform;
  while (transform.size < 8 * windowLength) {
    transform.size *= 2;
  }
  transform.frame = MakeFftwArray<double>(transform.size);
  transform.spectrum = MakeFftwArray<std::complex<double>>(transform.size / 2 + 1);
  transform.plan.reset(fftw_plan_dft_r2c_1d(static_cast<int>(transform.size), transform.frame.get(),
                                            AsFftw(transform.spectrum.get()), FFTW_ESTIMATE));
  return transform;
}

std::vector<double> FrequencyPoints(const SpectralDecayRequest& request) {
  std::vector<double> hz;
  const auto points = static_cast<int>(
      std::floor(std::log2(request.highHz / request.lowHz) * kPointsPerOctave + 1e-9));
  for (int i = 0; i <= points; ++i) {
    hz.push_back(request.lowHz * std::exp2(i / kPointsPerOctave));
  }
  return hz;
}

// Slice k of filtered into the transform's frame, under the falling half-Hann
// window.
void FillFrame(SliceTransform& transform, const std::vector<double>& filtered,
               const SliceLayout& layout, std::size_t k) {
  std::fill(transform.frame.get(), transform.frame.get() + transform.size, 0.0);
  for (std::size_t i = 0; i < layout.windowLength; ++i) {
    const std::size_t at = (k * layout.step + i) * layout.factor;
    const double taper = 0.5 * (1.0 + std::cos(std::numbers::pi * static_cast<double>(i) /
                                               static_cast<double>(layout.windowLength)));
    transform.frame[i] = at < filtered.size() ? filtered[at] * taper : 0.0;
  }
}

// The power at position (in bins): the mean over 1/24 octave around it, or
// linear between the two bins around it where that is narrower than a bin.
double SmoothedPower(const std::complex<double>* spectrum, double position) {
  const auto from = static_cast<std::size_t>(std::ceil(position / kSmoothingHalfWidth));
  const auto to = static_cast<std::size_t>(std::floor(position * kSmoothingHalfWidth));
  double p = 0.0;
  if (from <= to) {
    for (std::size_t bin = from; bin <= to; ++bin) {
      p += std::norm(spectrum[bin]);
    }
    p /= static_cast<double>(to - from + 1);
  } else {
    const auto below = static_cast<std::size_t>(position);
    const double fraction = position - static_cast<double>(below);
    p = (1.0 - fraction) * std::norm(spectrum[below]) + fraction * std::norm(spectrum[below + 1]);
  }
  return p;
}

struct SlicePowers {
  std::vector<std::vector<double>> powers;  // per slice, per frequency point
  double reference = 0.0;                   // the first slice's highest
};

SlicePowers PowersOfSlices(SliceTransform& transform, const std::vector<double>& filtered,
                           const SliceLayout& layout, const std::vector<double>& hz) {
  SlicePowers sliced;
  const double binHz = layout.lowRate / static_cast<double>(transform.size);
  for (std::size_t k = 0; k < layout.slices; ++k) {
    FillFrame(transform, filtered, layout, k);
    fftw_execute(transform.plan.get());
    std::vector<double>& power = sliced.powers.emplace_back();
    for (const double pointHz : hz) {
      const double p = SmoothedPower(transform.spectrum.get(), pointHz / binHz);
      power.push_back(p);
      if (k == 0) {
        sliced.reference = std::max(sliced.reference, p);
      }
    }
  }
  return sliced;
}

std::vector<std::vector<float>> LevelsDb(const SlicePowers& sliced) {
  std::vector<std::vector<float>> levels;
  for (const std::vector<double>& power : sliced.powers) {
    std::vector<float>& db = levels.emplace_back();
    for (const double p : power) {
      db.push_back(
          static_cast<float>(std::max(kFloorDb, 10.0 * std::log10(p / sliced.reference + 1e-30))));
    }
  }
  return levels;
}

}  // namespace

SpectralDecay ComputeSpectralDecay(std::span<const float> impulse, std::size_t start,
                                   const SpectralDecayRequest& request) {
  SpectralDecay decay;
  if (!(request.lowHz > 0.0) || !(request.highHz > request.lowHz) || start >= impulse.size() ||
      !(request.sliceStepS > 0.0) || request.highHz >= request.rate / 2.0) {
    return decay;
  }
  const std::optional<SliceLayout> layout = LayOutSlices(impulse.size() - start, request);
  if (!layout) {
    return decay;
  }
  const std::vector<double> filtered = LowPassedResponse(impulse, start, *layout, request);
  SliceTransform transform = MakeSliceTransform(layout->windowLength);
  if (transform.plan == nullptr) {
    return decay;
  }
  decay.hz = FrequencyPoints(request);
  const SlicePowers sliced = PowersOfSlices(transform, filtered, *layout, decay.hz);
  if (!(sliced.reference > 0.0)) {
    decay.hz.clear();
    return decay;
  }
  decay.sliceStepS = static_cast<double>(layout->step) / layout->lowRate;
  decay.windowS = static_cast<double>(layout->windowLength) / layout->lowRate;
  decay.slicesDb = LevelsDb(sliced);
  return decay;
}
