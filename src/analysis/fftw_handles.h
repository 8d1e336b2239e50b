#pragma once

// Ownership of FFTW's arrays and plans, so that every early return and
// exception gives them back.

#include <fftw3.h>

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
