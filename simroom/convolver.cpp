#include "convolver.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace simroom {

std::mutex& FftwPlannerLock() {
  static std::mutex lock;
  return lock;
}

void Convolver::PlanDestroy::operator()(fftw_plan plan) const {
  const std::lock_guard<std::mutex> lock(FftwPlannerLock());
  fftw_destroy_plan(plan);
}

// sum += x * h over one spectrum, in separate real and imaginary parts;
// restrict tells the compiler the arrays are apart, so that it vectorises.
void Convolver::MultiplyAdd(const double* __restrict xr, const double* __restrict xi,
                            const double* __restrict hr, const double* __restrict hi,
                            double* __restrict sumRe, double* __restrict sumIm) {
  for (std::size_t k = 0; k < kStride; ++k) {
    sumRe[k] += xr[k] * hr[k] - xi[k] * hi[k];
    sumIm[k] += xr[k] * hi[k] + xi[k] * hr[k];
  }
}

Convolver::Array Convolver::Allocate(std::size_t count) {
  auto* memory =
      static_cast<double*>(fftw_malloc(sizeof(double) * std::max<std::size_t>(count, 1)));
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  std::fill(memory, memory + std::max<std::size_t>(count, 1), 0.0);
  return Array(memory);
}

Convolver::Convolver(std::span<const double> response)
    : tailPartitions_(response.size() > kBlock ? (response.size() - 1) / kBlock : 0),
      head_(Allocate(kBlock)),
      history_(Allocate(2 * kBlock)),
      tail_(Allocate(kBlock)) {
  for (std::size_t k = 0; k < kBlock && k < response.size(); ++k) {
    head_[kBlock - 1 - k] = response[k];
  }
  if (tailPartitions_ == 0) {
    return;  // the whole response fits in the first block: no transforms
  }
  const std::size_t spectra = tailPartitions_ * kStride;
  spectraRe_ = Allocate(spectra);
  spectraIm_ = Allocate(spectra);
  delayRe_ = Allocate(spectra);
  delayIm_ = Allocate(spectra);
  sumRe_ = Allocate(kStride);
  sumIm_ = Allocate(kStride);
  time_ = Allocate(2 * kBlock);
  binsMemory_ = Allocate(2 * kBins);
  bins_ = reinterpret_cast<fftw_complex*>(binsMemory_.get());
  {
    const std::lock_guard<std::mutex> lock(FftwPlannerLock());
    constexpr int kSize = 2 * static_cast<int>(kBlock);
    forward_.reset(fftw_plan_dft_r2c_1d(kSize, time_.get(), bins_, FFTW_ESTIMATE));
    if (forward_) {
      inverse_.reset(fftw_plan_dft_c2r_1d(kSize, bins_, time_.get(), FFTW_ESTIMATE));
    }
  }
  if (!forward_ || !inverse_) {
    throw std::runtime_error("FFTW made no plan for the room's convolution");
  }
  // Each later partition, zero-padded to the transform's length, in the
  // frequency domain; FFTW leaves the round trip unscaled, so the scale goes in here.
  const double scale = 1.0 / (2.0 * kBlock);
  for (std::size_t p = 0; p < tailPartitions_; ++p) {
    const std::size_t first = (p + 1) * kBlock;
    const std::size_t count = std::min(kBlock, response.size() - first);
    std::fill(time_.get(), time_.get() + 2 * kBlock, 0.0);
    std::copy_n(response.begin() + static_cast<std::ptrdiff_t>(first), count, time_.get());
    fftw_execute(forward_.get());
    for (std::size_t k = 0; k < kBins; ++k) {
      spectraRe_[p * kStride + k] = bins_[k][0] * scale;
      spectraIm_[p * kStride + k] = bins_[k][1] * scale;
    }
  }
  Reset();
}

Convolver::~Convolver() = default;

void Convolver::Reset() {
  std::fill(history_.get(), history_.get() + 2 * kBlock, 0.0);
  std::fill(tail_.get(), tail_.get() + kBlock, 0.0);
  if (tailPartitions_ > 0) {
    std::fill(delayRe_.get(), delayRe_.get() + tailPartitions_ * kStride, 0.0);
    std::fill(delayIm_.get(), delayIm_.get() + tailPartitions_ * kStride, 0.0);
  }
  newest_ = 0;
  position_ = 0;
}

void Convolver::NextBlock() {
  if (tailPartitions_ > 0) {
    // Overlap-save: the transform of the last two input blocks.
    std::copy_n(history_.get(), 2 * kBlock, time_.get());
    fftw_execute(forward_.get());
    newest_ = newest_ == 0 ? tailPartitions_ - 1 : newest_ - 1;
    double* newRe = delayRe_.get() + newest_ * kStride;
    double* newIm = delayIm_.get() + newest_ * kStride;
    for (std::size_t k = 0; k < kBins; ++k) {
      newRe[k] = bins_[k][0];
      newIm[k] = bins_[k][1];
    }
    // The next block hears partition p + 1 through the input p blocks
    // before the one just completed.
    double* sumRe = sumRe_.get();
    double* sumIm = sumIm_.get();
    std::fill(sumRe, sumRe + kStride, 0.0);
    std::fill(sumIm, sumIm + kStride, 0.0);
    std::size_t slot = newest_;
    for (std::size_t p = 0; p < tailPartitions_; ++p) {
      MultiplyAdd(delayRe_.get() + slot * kStride, delayIm_.get() + slot * kStride,
                  spectraRe_.get() + p * kStride, spectraIm_.get() + p * kStride, sumRe, sumIm);
      slot = slot + 1 == tailPartitions_ ? 0 : slot + 1;
    }
    for (std::size_t k = 0; k < kBins; ++k) {
      bins_[k][0] = sumRe[k];
      bins_[k][1] = sumIm[k];
    }
    fftw_execute(inverse_.get());
    // The second half is the linear convolution; the first half wrapped round.
    std::copy_n(time_.get() + kBlock, kBlock, tail_.get());
  }
  std::copy_n(history_.get() + kBlock, kBlock, history_.get());
  position_ = 0;
}

}  // namespace simroom
