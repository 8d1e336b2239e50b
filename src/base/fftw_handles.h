#pragma once

// Ownership of FFTW's arrays and plans, so that every early return and
// exception gives them back.

#include <fftw3.h>

#include <algorithm>
#include <complex>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

struct FftwFree {
  void operator()(void* memory) const { fftw_free(memory); }
};

// An array from fftw_malloc: aligned as FFTW's vector code wants it.
template <typename T>
using FftwArray = std::unique_ptr<T[], FftwFree>;

template <typename T>
FftwArray<T> MakeFftwArray(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T>);
  auto* memory = static_cast<T*>(fftw_malloc(sizeof(T) * count));
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  return FftwArray<T>(memory);
}

// FFTW documents std::complex<double> as layout-compatible with fftw_complex.
inline fftw_complex* AsFftw(std::complex<double>* values) {
  return reinterpret_cast<fftw_complex*>(values);
}

struct FftwPlanDestroy {
  void operator()(fftw_plan plan) const { fftw_destroy_plan(plan); }
};

using FftwPlan = std::unique_ptr<std::remove_pointer_t<fftw_plan>, FftwPlanDestroy>;

// The smallest length of at least minimum whose only prime factors are 2, 3
// and 5: FFTW's fastest transforms, and never more than 25 % above minimum.
inline std::size_t SmoothTransformSize(std::size_t minimum) {
  std::size_t best = 1;
  while (best < minimum) {
    best *= 2;
  }
  for (std::size_t twos = 1; twos < best; twos *= 2) {
    for (std::size_t threes = twos; threes < best; threes *= 3) {
      std::size_t size = threes;
      while (size < minimum) {
        size *= 5;
      }
      best = std::min(best, size);
    }
  }
  return best;
}
