#pragma once

// A long convolution run sample by sample without latency: a uniformly
// partitioned FFT convolution (overlap-save with a frequency-domain delay
// line) for every block of the response but the first, and the first block
// convolved directly in the time domain, so that each output sample is ready
// as soon as its input sample is.

#include <fftw3.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <type_traits>

namespace simroom {

// FFTW's planner (making and destroying plans) is not thread-safe; every
// plan the room makes or destroys holds this lock.
std::mutex& FftwPlannerLock();

class Convolver {
 public:
  // Frames per partition: the FFT is twice as long.
  static constexpr std::size_t kBlock = 512;
  static_assert(kBlock % 8 == 0);

  // Plans the transforms and takes the response apart into its partitions.
  // Throws std::bad_alloc, or std::runtime_error when FFTW makes no plan.
  explicit Convolver(std::span<const double> response);
  ~Convolver();
  Convolver(const Convolver&) = delete;
  Convolver& operator=(const Convolver&) = delete;

  // The next output sample: the response convolved with every input so far.
  double Process(double x) {
    if (position_ == kBlock) {
      NextBlock();
    }
    history_[kBlock + position_] = x;
    // history_[position_ + 1 + m] is x[n - (kBlock - 1 - m)]; head_ holds the
    // first block of the response reversed. Eight running sums, added in a
    // fixed order: the same result on every call, and independent chains that
    // the compiler vectorises.
    const double* recent = history_.get() + position_ + 1;
    const double* head = head_.get();
    double sums[8] = {};
    for (std::size_t m = 0; m < kBlock; m += 8) {
      for (std::size_t j = 0; j < 8; ++j) {
        sums[j] += head[m + j] * recent[m + j];
      }
    }
    const double y =
        ((sums[0] + sums[4]) + (sums[1] + sums[5])) + ((sums[2] + sums[6]) + (sums[3] + sums[7]));
    return y + tail_[position_++];
  }

  // Back to rest: no input has been heard.
  void Reset();

 private:
  struct Free {
    void operator()(void* p) const { fftw_free(p); }
  };
  using Array = std::unique_ptr<double[], Free>;
  struct PlanDestroy {
    void operator()(fftw_plan plan) const;
  };
  using Plan = std::unique_ptr<std::remove_pointer_t<fftw_plan>, PlanDestroy>;

  static constexpr std::size_t kBins = kBlock + 1;  // of a 2 * kBlock real transform
  // Each spectrum's stride: kBins and a zero, an even count that vectorises without a remainder.
  static constexpr std::size_t kStride = kBins + 1;

  static Array Allocate(std::size_t count);
  static void MultiplyAdd(const double* xr, const double* xi, const double* hr, const double* hi,
                          double* sumRe, double* sumIm);
  // The input block just completed enters the delay line; the later
  // partitions' share of the next block's output is worked out.
  void NextBlock();

  std::size_t tailPartitions_ = 0;  // partitions after the first
  Array head_;                      // kBlock: the first partition, reversed
  Array history_;                   // 2 * kBlock: the last two input blocks
  Array tail_;                      // kBlock: the later partitions' output for this block
  Array spectraRe_;                 // tailPartitions_ * kStride: partitions 1.. in frequency
  Array spectraIm_;
  Array delayRe_;  // tailPartitions_ * kStride: the inputs' spectra, newest at newest_
  Array delayIm_;
  Array sumRe_;  // kStride
  Array sumIm_;
  Array time_;                    // 2 * kBlock: the transforms' time side
  fftw_complex* bins_ = nullptr;  // kBins: the transforms' frequency side
  Array binsMemory_;
  std::size_t newest_ = 0;
  std::size_t position_ = 0;  // frames of the current block taken
  Plan forward_;
  Plan inverse_;
};

}  // namespace simroom
