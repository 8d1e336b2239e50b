#include "analysis/room_response.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <stdexcept>

#include "analysis/fftw_handles.h"

namespace {

// Inside the swept range, H = Y X* / (|X|^2 + lambda) with lambda this far
// below the mean of |X|^2: it changes no bin the sweep really reached, and
// keeps the rare deep dip of |X| at the range's edges from amplifying noise.
constexpr double kTikhonov = 1e-6;

// Copies signal to the front of buffer and zeroes the rest.
void Load(std::span<const SampleWord> signal, std::span<double> buffer) {
  const std::size_t used = std::min(signal.size(), buffer.size());
  std::copy_n(signal.begin(), used, buffer.begin());
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(used), buffer.end(), 0.0);
}

// The first and one past the last bin inside [startHz, TopHz()].
std::pair<std::size_t, std::size_t> SweptBins(const SweepRange& range, double binHz,
                                              std::size_t bins) {
  const double first = std::ceil(std::max(range.startHz, 0.0) / binHz);
  const double last = std::floor(range.TopHz() / binHz) + 1.0;
  const auto end = std::min(bins, static_cast<std::size_t>(std::max(last, 0.0)));
  return {std::min(end, static_cast<std::size_t>(first)), end};
}

// FFTW makes no plan only when it cannot allocate one.
FftwPlan Checked(fftw_plan plan) {
  if (plan == nullptr) {
    throw std::bad_alloc();
  }
  return FftwPlan(plan);
}

RoomResponse Deconvolve(std::span<const SampleWord> played,
                        std::span<const SampleWord> recordedAligned, const SweepRange& range,
                        std::size_t leadSamples) {
  const std::size_t length = std::max({played.size(), recordedAligned.size(), std::size_t{1}});
  if (length > INT_MAX / 4) {
    throw std::length_error("the sweep is too long to deconvolve");
  }
  RoomResponse room;
  room.rate = range.rate;
  const auto oneSecond = static_cast<std::size_t>(std::ceil(range.rate));
  room.transformSize = SmoothTransformSize(length + oneSecond);
  const std::size_t n = room.transformSize;
  const std::size_t bins = n / 2 + 1;

  FftwArray<double> signal = MakeFftwArray<double>(n);
  FftwArray<std::complex<double>> playedSpectrum = MakeFftwArray<std::complex<double>>(bins);
  FftwArray<std::complex<double>> spectrum = MakeFftwArray<std::complex<double>>(bins);
  const std::span<double> signalView(signal.get(), n);
  const FftwPlan forward = Checked(fftw_plan_dft_r2c_1d(
      static_cast<int>(n), signal.get(), AsFftw(playedSpectrum.get()), FFTW_ESTIMATE));
  Load(played, signalView);
  fftw_execute(forward.get());
  Load(recordedAligned, signalView);
  fftw_execute_dft_r2c(forward.get(), signal.get(), AsFftw(spectrum.get()));

  const auto [first, end] = SweptBins(range, room.BinHz(), bins);
  double meanPower = 0.0;
  for (std::size_t k = first; k < end; ++k) {
    meanPower += std::norm(playedSpectrum[k]);
  }
  meanPower /= static_cast<double>(std::max(end - first, std::size_t{1}));
  const double lambda = kTikhonov * meanPower;
  for (std::size_t k = 0; k < bins; ++k) {
    const std::complex<double> x = playedSpectrum[k];
    const bool swept = k >= first && k < end && meanPower > 0.0;
    spectrum[k] = swept ? spectrum[k] * std::conj(x) / (std::norm(x) + lambda) : 0.0;
  }
  playedSpectrum.reset();  // one spectrum fewer at the peak of memory
  room.transfer.assign(spectrum.get(), spectrum.get() + bins);

  const FftwPlan inverse = Checked(fftw_plan_dft_c2r_1d(static_cast<int>(n), AsFftw(spectrum.get()),
                                                        signal.get(), FFTW_ESTIMATE));
  fftw_execute(inverse.get());
  spectrum.reset();  // spent by the inverse: the outputs take its place at the peak
  const std::size_t kept = std::min(n, std::max(length, oneSecond));
  room.impulse.resize(kept);
  const double scale = 1.0 / static_cast<double>(n);  // FFTW leaves the round trip unscaled
  for (std::size_t i = 0; i < kept; ++i) {
    room.impulse[i] = static_cast<float>(signal[i] * scale);
  }
  // h at -m is the circle's sample n - m.
  const std::size_t lead = std::min(leadSamples, n / 2);
  room.beforeZero.resize(lead);
  for (std::size_t i = 0; i < lead; ++i) {
    room.beforeZero[i] = static_cast<float>(signal[n - lead + i] * scale);
  }
  return room;
}

}  // namespace

Expected<RoomResponse, AnalysisFailure> MeasureRoomResponse(
    std::span<const SampleWord> played, std::span<const SampleWord> recordedAligned,
    const SweepRange& range, std::size_t leadSamples) {
  try {
    return Deconvolve(played, recordedAligned, range, leadSamples);
  } catch (const std::bad_alloc&) {
    return Unexpected{AnalysisFailure::kNoMemory};
  } catch (const std::length_error&) {
    return Unexpected{AnalysisFailure::kTooLong};
  }
}
