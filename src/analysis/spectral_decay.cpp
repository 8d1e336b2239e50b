#include "analysis/spectral_decay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <ranges>

#include "analysis/fftw_handles.h"
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

}  // namespace

SpectralDecay ComputeSpectralDecay(std::span<const float> impulse, std::size_t start,
                                   const SpectralDecayRequest& request) {
  SpectralDecay decay;
  const double rate = request.rate;
  if (!(request.lowHz > 0.0) || !(request.highHz > request.lowHz) || start >= impulse.size() ||
      !(request.sliceStepS > 0.0) || request.highHz >= rate / 2.0) {
    return decay;
  }
  const auto factor =
      static_cast<std::size_t>(std::max(1.0, std::floor(rate / (kRateOverTop * request.highHz))));
  const double lowRate = rate / static_cast<double>(factor);
  const std::size_t available = impulse.size() - start;
  const double availableS = static_cast<double>(available) / rate;
  double spanS = request.spanS;
  double windowS = request.windowS;
  if (spanS + windowS > availableS) {
    // A short response: the window keeps at least half its length, and the
    // slices stop earlier.
    windowS = std::max(std::min(windowS, availableS - spanS), std::min(windowS / 2.0, availableS));
    spanS = std::max(0.0, std::min(spanS, availableS - windowS));
  }
  const auto windowLength = static_cast<std::size_t>(std::floor(windowS * lowRate));
  if (windowLength < 8) {
    return decay;
  }
  const auto step =
      static_cast<std::size_t>(std::max(1.0, std::round(request.sliceStepS * lowRate)));
  const std::size_t slices =
      static_cast<std::size_t>(std::floor(spanS * lowRate / static_cast<double>(step))) + 1;

  // The low-passed response, from the start to the end of the last window.
  const std::size_t used =
      std::min(available, ((slices - 1) * step + windowLength) * factor + factor);
  std::vector<double> filtered(impulse.begin() + static_cast<std::ptrdiff_t>(start),
                               impulse.begin() + static_cast<std::ptrdiff_t>(start + used));
  LowPassZeroPhase(filtered, kCutoffOverTop * request.highHz, rate);

  std::size_t size = 1;
  while (size < 8 * windowLength) {
    size *= 2;
  }
  FftwArray<double> frame = MakeFftwArray<double>(size);
  FftwArray<std::complex<double>> spectrum = MakeFftwArray<std::complex<double>>(size / 2 + 1);
  const FftwPlan plan(fftw_plan_dft_r2c_1d(static_cast<int>(size), frame.get(),
                                           AsFftw(spectrum.get()), FFTW_ESTIMATE));
  if (plan == nullptr) {
    return decay;
  }
  const auto points = static_cast<int>(
      std::floor(std::log2(request.highHz / request.lowHz) * kPointsPerOctave + 1e-9));
  for (int i = 0; i <= points; ++i) {
    decay.hz.push_back(request.lowHz * std::exp2(i / kPointsPerOctave));
  }
  const double binHz = lowRate / static_cast<double>(size);
  double reference = 0.0;
  std::vector<std::vector<double>> powers;
  for (std::size_t k = 0; k < slices; ++k) {
    std::fill(frame.get(), frame.get() + size, 0.0);
    for (std::size_t i = 0; i < windowLength; ++i) {
      const std::size_t at = (k * step + i) * factor;
      const double taper = 0.5 * (1.0 + std::cos(std::numbers::pi * static_cast<double>(i) /
                                                 static_cast<double>(windowLength)));
      frame[i] = at < filtered.size() ? filtered[at] * taper : 0.0;
    }
    fftw_execute(plan.get());
    std::vector<double>& power = powers.emplace_back();
    for (const double hz : decay.hz) {
      // The mean over 1/24 octave around hz, or linear between the two bins
      // around it where that is narrower than a bin.
      const double position = hz / binHz;
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
        p = (1.0 - fraction) * std::norm(spectrum[below]) +
            fraction * std::norm(spectrum[below + 1]);
      }
      power.push_back(p);
      if (k == 0) {
        reference = std::max(reference, p);
      }
    }
  }
  if (!(reference > 0.0)) {
    decay.hz.clear();
    return decay;
  }
  decay.sliceStepS = static_cast<double>(step) / lowRate;
  decay.windowS = static_cast<double>(windowLength) / lowRate;
  for (const std::vector<double>& power : powers) {
    std::vector<float>& db = decay.slicesDb.emplace_back();
    for (const double p : power) {
      db.push_back(
          static_cast<float>(std::max(kFloorDb, 10.0 * std::log10(p / reference + 1e-30))));
    }
  }
  return decay;
}
