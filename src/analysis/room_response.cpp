#include "analysis/room_response.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

#include "base/fftw_handles.h"

namespace {

// Inside the swept range, H = Y X* / (|X|^2 + lambda) with lambda this far
// below the mean of |X|^2: it changes no bin the sweep really reached, and
// keeps the rare deep dip of |X| at the range's edges from amplifying noise.
constexpr double kTikhonov = 1e-6;

// buffer[i] = signal[i + from] where that lies inside signal, 0 elsewhere.
void Load(std::span<const SampleWord> signal, std::int64_t from, std::span<double> buffer) {
  const auto size = static_cast<std::int64_t>(signal.size());
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    const std::int64_t at = static_cast<std::int64_t>(i) + from;
    buffer[i] = at >= 0 && at < size ? signal[static_cast<std::size_t>(at)] : 0.0;
  }
}

// Bin k of a half-complex spectrum, in FFTW's order: the real parts of bins
// 0 to n/2, then the imaginary parts from bin (n-1)/2 down to bin 1. Bin 0,
// and bin n/2 of an even n, are real.
std::complex<double> Bin(std::span<const double> spectrum, std::size_t k) {
  const std::size_t n = spectrum.size();
  return {spectrum[k], k == 0 || 2 * k == n ? 0.0 : spectrum[n - k]};
}

void SetBin(std::span<double> spectrum, std::size_t k, std::complex<double> value) {
  const std::size_t n = spectrum.size();
  spectrum[k] = value.real();
  if (k != 0 && 2 * k != n) {
    spectrum[n - k] = value.imag();
  }
}

// The first and one past the last bin inside [startHz, TopHz()].
std::pair<std::size_t, std::size_t> SweptBins(const SweepRange& range, double binHz,
                                              std::size_t bins) {
  const double first = std::ceil(std::max(range.startHz, 0.0) / binHz);
  const double last = std::floor(range.TopHz() / binHz) + 1.0;
  const auto end = std::min(bins, static_cast<std::size_t>(std::max(last, 0.0)));
  return {std::min(end, static_cast<std::size_t>(first)), end};
}

// Below the start and above the top the response rolls off over this many
// octaves as a raised cosine instead of stopping at a brick wall: a brick
// wall rings before time 0 (and after the sound) like 1/t for seconds at
// the lowest swept tone, where this rolls off like 1/t^3 and has died down
// well within the lead the impulse response file keeps before time 0. The
// roll-off lies outside the swept range, so every bin the sweep reached
// keeps its value. There the sweep's own spectrum still spreads (its start
// and end are not sharper than its pace allows), so the quotient there is
// measured, and regularised where it is not.
constexpr double kEdgeRollOffOctaves = 0.5;

// 1 at 0, falling to 0 at 1 as half a cosine.
double RaisedCosine(double x) {
  return x <= 0.0 ? 1.0 : x >= 1.0 ? 0.0 : 0.5 * (1.0 + std::cos(std::numbers::pi * x));
}

// The weight of bin k: 1 inside the swept bins [first, end), rolling off to 0
// over kEdgeRollOffOctaves outside them (above the top only as far as there
// are bins, so that the top of a sweep to half the rate stays whole).
double EdgeWeight(std::size_t k, std::size_t first, std::size_t end, std::size_t bins) {
  if (k >= first && k < end) {
    return 1.0;
  }
  const double bin = static_cast<double>(k);
  const double span = std::exp2(kEdgeRollOffOctaves);
  if (k < first) {
    const auto edge = static_cast<double>(first);
    return RaisedCosine((edge - bin) / (edge - edge / span));
  }
  const auto edge = static_cast<double>(end - 1);
  const double width = std::min(edge * span, static_cast<double>(bins)) - edge;
  return width > 0.0 ? RaisedCosine((bin - edge) / width) : 0.0;
}

// Turns the recording's spectrum y into H = Y X* / (|X|^2 + lambda), whole
// inside the swept bins [first, end) and rolled off outside them.
void Divide(std::span<const double> x, std::span<double> y, std::size_t first, std::size_t end) {
  double meanPower = 0.0;
  for (std::size_t k = first; k < end; ++k) {
    meanPower += std::norm(Bin(x, k));
  }
  meanPower /= static_cast<double>(std::max(end - first, std::size_t{1}));
  const double lambda = kTikhonov * meanPower;
  const std::size_t bins = y.size() / 2 + 1;
  for (std::size_t k = 0; k < bins; ++k) {
    const std::complex<double> bin = Bin(x, k);
    const double weight = meanPower > 0.0 && first < end ? EdgeWeight(k, first, end, bins) : 0.0;
    SetBin(y, k,
           weight > 0.0 ? weight * Bin(y, k) * std::conj(bin) / (std::norm(bin) + lambda) : 0.0);
  }
}

// FFTW makes no plan only when it cannot allocate one.
FftwPlan Checked(fftw_plan plan) {
  if (plan == nullptr) {
    throw std::bad_alloc();
  }
  return FftwPlan(plan);
}

// The impulse response from the inverse transform h (unscaled, as FFTW
// leaves it): kept samples from time 0 on, and lead samples before it, which
// the circle holds at its far end (h at -m is sample n - m).
void KeepResponse(std::span<const double> h, std::size_t kept, std::size_t lead,
                  RoomResponse& room) {
  const std::size_t n = h.size();
  const double scale = 1.0 / static_cast<double>(n);
  room.impulse.resize(kept);
  for (std::size_t i = 0; i < kept; ++i) {
    room.impulse[i] = static_cast<float>(h[i] * scale);
  }
  lead = std::min(lead, n / 2);
  room.beforeZero.resize(lead);
  for (std::size_t i = 0; i < lead; ++i) {
    room.beforeZero[i] = static_cast<float>(h[n - lead + i] * scale);
  }
}

RoomResponse Deconvolve(std::span<const SampleWord> played, std::span<const SampleWord> recorded,
                        const SweepRange& range, const DeconvolutionRequest& request) {
  const std::size_t length = std::max({played.size(), recorded.size(), std::size_t{1}});
  if (length > INT_MAX / 4) {
    throw std::length_error("the sweep is too long to deconvolve");
  }
  RoomResponse room;
  room.rate = range.rate;
  const auto oneSecond = static_cast<std::size_t>(std::ceil(range.rate));
  room.transformSize = SmoothTransformSize(length + oneSecond);
  const std::size_t n = room.transformSize;
  const std::size_t bins = n / 2 + 1;

  // Two arrays of n doubles, each transformed in place: FFTW's half-complex
  // transforms need far less room of their own than its real-to-complex
  // ones, which take as much again as an array for long sweeps.
  FftwArray<double> x = MakeFftwArray<double>(n);
  FftwArray<double> y = MakeFftwArray<double>(n);
  const std::span<double> xView(x.get(), n);
  const std::span<double> yView(y.get(), n);
  const FftwPlan forward =
      Checked(fftw_plan_r2r_1d(static_cast<int>(n), x.get(), x.get(), FFTW_R2HC, FFTW_ESTIMATE));
  Load(played, 0, xView);
  fftw_execute(forward.get());
  Load(recorded, request.lag, yView);
  fftw_execute_r2r(forward.get(), y.get(), y.get());
  const auto [first, end] = SweptBins(range, room.BinHz(), bins);
  Divide(xView, yView, first, end);
  x.reset();  // one array fewer at the peak of memory

  room.transfer.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    room.transfer[k] = Bin(yView, k);
  }
  const FftwPlan inverse =
      Checked(fftw_plan_r2r_1d(static_cast<int>(n), y.get(), y.get(), FFTW_HC2R, FFTW_ESTIMATE));
  fftw_execute(inverse.get());
  KeepResponse(yView, std::min(n, std::max(length, oneSecond)), request.leadSamples, room);
  return room;
}

}  // namespace

Expected<RoomResponse, AnalysisFailure> MeasureRoomResponse(std::span<const SampleWord> played,
                                                            std::span<const SampleWord> recorded,
                                                            const SweepRange& range,
                                                            const DeconvolutionRequest& request) {
  try {
    return Deconvolve(played, recorded, range, request);
  } catch (const std::bad_alloc&) {
    return Unexpected{AnalysisFailure::kNoMemory};
  } catch (const std::length_error&) {
    return Unexpected{AnalysisFailure::kTooLong};
  }
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): samples, then samples per second
std::size_t RoomResponseBytes(std::size_t length, double rate) {
  const auto oneSecond = static_cast<std::size_t>(std::ceil(rate));
  const std::size_t n = SmoothTransformSize(std::max(length, std::size_t{1}) + oneSecond);
  const std::size_t kept = std::min(n, std::max(length, oneSecond));
  // The two arrays, or one array and the transfer function; then the impulse
  // response beside them; FFTW's own buffers have stayed below a quarter of
  // an array's bytes in every size measured.
  return 2 * n * sizeof(double) + kept * sizeof(float) + n * sizeof(double) / 4;
}
