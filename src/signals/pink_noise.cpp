#include "signals/pink_noise.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <span>
#include <stdexcept>

#include "base/fftw_handles.h"

namespace {

// A peak of 1 would round to 2^23, one past the largest 24-bit sample.
constexpr double kLargest = kFullScale - 1.0;

}  // namespace

std::vector<SampleWord> MakePinkNoise(const PinkNoiseSpec& wanted) {
  const std::size_t n = wanted.samples;
  if (n == 0) {
    return {};
  }
  if (n > INT_MAX) {
    throw std::length_error("the pink noise is too long for one transform");
  }
  const std::size_t bins = n / 2 + 1;
  FftwArray<std::complex<double>> spectrum = MakeFftwArray<std::complex<double>>(bins);
  FftwArray<double> signal = MakeFftwArray<double>(n);
  const FftwPlan plan(fftw_plan_dft_c2r_1d(static_cast<int>(n), AsFftw(spectrum.get()),
                                           signal.get(), FFTW_ESTIMATE));
  if (!plan) {
    throw std::runtime_error("FFTW made no plan for the pink noise");
  }
  std::mt19937_64 random(wanted.seed);
  const double binHz = wanted.rate / static_cast<double>(n);
  for (std::size_t k = 0; k < bins; ++k) {
    // 53 random bits for the phase: the same doubles wherever it runs.
    const double turn = static_cast<double>(random() >> 11) * 0x1p-53;
    const double hz = static_cast<double>(k) * binHz;
    const bool inBand = k > 0 && hz >= wanted.lowHz && hz <= wanted.highHz;
    spectrum[k] = inBand ? std::polar(1.0 / std::sqrt(hz), 2.0 * std::numbers::pi * turn) : 0.0;
  }
  fftw_execute(plan.get());
  const std::span<const double> noise(signal.get(), n);
  double largest = 0.0;
  for (const double v : noise) {
    largest = std::max(largest, std::fabs(v));
  }
  const double scale = largest > 0.0 ? wanted.peak * kFullScale / largest : 0.0;
  std::vector<SampleWord> samples(n);
  std::transform(noise.begin(), noise.end(), samples.begin(), [scale](double v) {
    return static_cast<SampleWord>(std::lround(std::clamp(v * scale, -kLargest, kLargest)));
  });
  return samples;
}
