#include "analysis/calibrator_tone.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

#include "base/fftw_handles.h"
#include "signals/biquad.h"

namespace {

// The largest magnitude a 24-bit sample reaches, as the run counts clipping.
constexpr SampleWord kLargestSample = 8388607;
// Below this a peak is rumble or handling noise, not a calibrator.
constexpr double kLowestToneHz = 20.0;
// Each of the two band-pass sections: about 200 Hz of noise bandwidth
// together, so white noise 20 dB below the tone costs under 0.01 dB, and
// mains hum is 70 dB down.
constexpr double kBandQ = 4.0;
// The sections ring down in a few milliseconds; what comes before this
// is left out of every figure.
constexpr double kSettleSeconds = 0.05;
constexpr double kBlockSeconds = 0.1;

std::int64_t CountClipped(std::span<const SampleWord> samples) {
  return std::count_if(samples.begin(), samples.end(),
                       [](SampleWord s) { return s >= kLargestSample || s <= -kLargestSample; });
}

double Mean(std::span<const SampleWord> samples) {
  double sum = 0.0;
  for (const SampleWord s : samples) {
    sum += static_cast<double>(s);
  }
  return sum / static_cast<double>(samples.size());
}

// Where the log power peaks on a parabola through three neighbouring bins,
// in bins from the middle one: within a hundredth of a bin for a Hann window.
double PeakOffset(double before, double at, double after) {
  const double curvature = before - 2.0 * at + after;
  return curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
}

double LogPower(std::complex<double> bin) {
  return std::log(std::norm(bin) + 1e-300);
}

// The frequency of the strongest tone above kLowestToneHz, the mean taken out.
double StrongestToneHz(std::span<const SampleWord> samples, double mean, double rate) {
  const std::size_t n = samples.size();
  if (n > INT_MAX) {
    throw std::length_error("the calibrator's recording is too long for one transform");
  }
  const std::size_t bins = n / 2 + 1;
  FftwArray<double> signal = MakeFftwArray<double>(n);
  FftwArray<std::complex<double>> spectrum = MakeFftwArray<std::complex<double>>(bins);
  const FftwPlan plan(fftw_plan_dft_r2c_1d(static_cast<int>(n), signal.get(),
                                           AsFftw(spectrum.get()), FFTW_ESTIMATE));
  if (!plan) {
    throw std::runtime_error("FFTW made no plan for the calibrator's spectrum");
  }
  const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(step * static_cast<double>(i));
    signal[i] = (static_cast<double>(samples[i]) - mean) * hann;
  }
  fftw_execute(plan.get());
  const double binHz = rate / static_cast<double>(n);
  const auto first = std::max<std::size_t>(1, static_cast<std::size_t>(kLowestToneHz / binHz));
  std::size_t peak = first;
  for (std::size_t k = first; k + 1 < bins; ++k) {
    if (std::norm(spectrum[k]) > std::norm(spectrum[peak])) {
      peak = k;
    }
  }
  const double offset = PeakOffset(LogPower(spectrum[peak - 1]), LogPower(spectrum[peak]),
                                   LogPower(spectrum[peak + 1]));
  return (static_cast<double>(peak) + offset) * binHz;
}

// The recording and its band around the tone, after the filters settled.
struct BandFigures {
  double meanSquare = 0.0;  // of the band
  double share = 0.0;
  double spreadDb = 0.0;
};

BandFigures MeasureBand(std::span<const SampleWord> samples, double mean, double rate, double hz) {
  const BiquadCoefficients section =
      DesignBiquad({.shape = BiquadShape::kBandpass, .hz = hz, .q = kBandQ}, rate);
  BiquadState first;
  BiquadState second;
  const auto settle = static_cast<std::size_t>(rate * kSettleSeconds);
  const auto blockLength = static_cast<std::size_t>(std::round(rate * kBlockSeconds));
  double all = 0.0;
  double band = 0.0;
  double block = 0.0;
  double loudest = 0.0;
  double softest = INFINITY;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double x = static_cast<double>(samples[i]) - mean;
    const double y = second.Process(section, first.Process(section, x));
    if (i < settle) {
      continue;
    }
    all += x * x;
    band += y * y;
    block += y * y;
    if ((i - settle + 1) % blockLength == 0) {
      loudest = std::max(loudest, block);
      softest = std::min(softest, block);
      block = 0.0;
    }
  }
  const auto counted = static_cast<double>(samples.size() - settle);
  return {.meanSquare = band / counted,
          .share = all > 0.0 ? band / all : 0.0,
          .spreadDb = 10.0 * std::log10(loudest / softest)};
}

}  // namespace

CalibratorTone MeasureCalibratorTone(const CalibratorRecording& recording) {
  const std::span<const SampleWord> samples = recording.samples;
  CalibratorTone tone;
  if (static_cast<double>(samples.size()) < kMinCalibratorSeconds * recording.rate) {
    tone.fault = ToneFault::kTooShort;
    return tone;
  }
  tone.clippedSamples = CountClipped(samples);
  if (tone.clippedSamples > 0) {
    tone.fault = ToneFault::kClipped;
    return tone;
  }
  const double mean = Mean(samples);
  tone.hz = StrongestToneHz(samples, mean, recording.rate);
  const BandFigures band = MeasureBand(samples, mean, recording.rate, tone.hz);
  tone.share = band.share;
  if (band.share < kMinToneShare) {
    tone.fault = ToneFault::kNoTone;
    return tone;
  }
  if (std::fabs(tone.hz / kCalibratorHz - 1.0) > kMaxFrequencyError) {
    tone.fault = ToneFault::kOffFrequency;
    return tone;
  }
  tone.spreadDb = band.spreadDb;
  tone.dbfs = 10.0 * std::log10(2.0 * band.meanSquare / (kFullScale * kFullScale));
  if (band.spreadDb > kMaxToneSpreadDb) {
    tone.fault = ToneFault::kUnsteady;
    return tone;
  }
  tone.offsetDb = recording.calibratorDbSpl - tone.dbfs;
  return tone;
}
