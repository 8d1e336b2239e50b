#include "reverb.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <stdexcept>
#include <type_traits>

#include "convolver.h"
#include "splitmix.h"

namespace simroom {

double ReverbSpec::Rt60(int band) const {
  if (rt60.empty()) {
    return kMinRt60;
  }
  return rt60[std::min(static_cast<std::size_t>(std::max(band, 0)), rt60.size() - 1)];
}

namespace {

struct Free {
  void operator()(void* p) const { fftw_free(p); }
};
template <typename T>
std::unique_ptr<T[], Free> Allocate(std::size_t count) {
  auto* memory = static_cast<T*>(fftw_malloc(sizeof(T) * count));
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  return std::unique_ptr<T[], Free>(memory);
}

struct PlanDestroy {
  void operator()(fftw_plan plan) const {
    const std::lock_guard<std::mutex> lock(FftwPlannerLock());
    fftw_destroy_plan(plan);
  }
};
using Plan = std::unique_ptr<std::remove_pointer_t<fftw_plan>, PlanDestroy>;

// A standard normal deviate, the index-th of the seed's sequence.
double Gaussian(std::uint64_t seed, std::uint64_t index) {
  const std::uint64_t base = Mix(seed ^ Mix(index));
  constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
  const double u1 = static_cast<double>((Mix(base) >> 11) + 1) * kScale;
  const double u2 = static_cast<double>(Mix(base + 1) >> 11) * kScale;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

// The band that frequency hz falls in: edges at the geometric means of neighbouring centres.
int BandOf(double hz) {
  const double octaves = std::log2(hz / kReverbLowestCentreHz) + 0.5;
  return std::clamp(static_cast<int>(std::floor(octaves)), 0, kReverbBands - 1);
}

}  // namespace

std::vector<double> MakeReverbResponse(const ReverbSpec& wanted, double rate) {
  double longest = 0.0;
  for (int b = 0; b < kReverbBands; ++b) {
    longest = std::max(longest, wanted.Rt60(b));
  }
  const auto length = static_cast<std::size_t>(std::ceil(longest * kReverbSpanDb / 60.0 * rate));
  std::size_t size = 2;
  while (size < length) {
    size *= 2;
  }
  const std::size_t bins = size / 2 + 1;
  auto noise = Allocate<double>(size);
  auto time = Allocate<double>(size);
  auto spectrum = Allocate<fftw_complex>(bins);
  auto band = Allocate<fftw_complex>(bins);
  Plan forward;
  Plan inverse;
  {
    const std::lock_guard<std::mutex> lock(FftwPlannerLock());
    const int n = static_cast<int>(size);
    forward.reset(fftw_plan_dft_r2c_1d(n, noise.get(), spectrum.get(), FFTW_ESTIMATE));
    if (forward) {
      inverse.reset(fftw_plan_dft_c2r_1d(n, band.get(), time.get(), FFTW_ESTIMATE));
    }
  }
  if (!forward || !inverse) {
    throw std::runtime_error("FFTW made no plan for the room's reverberation");
  }

  // White noise of the seed, independent of the microphone's noise sequence.
  const std::uint64_t seed = Mix(wanted.seed ^ 0x5245564552422D31ULL);
  for (std::size_t i = 0; i < size; ++i) {
    noise[i] = Gaussian(seed, i);
  }
  fftw_execute(forward.get());

  // Split into octave bands with complementary brick walls (the bands sum to
  // the whole noise, DC and the half-rate bin left out), each band decaying
  // by 60 dB in its own reverberation time.
  std::vector<double> response(length, 0.0);
  const double binHz = rate / static_cast<double>(size);
  for (int b = 0; b < kReverbBands; ++b) {
    bool any = false;
    for (std::size_t k = 0; k < bins; ++k) {
      const bool in = k > 0 && k + 1 < bins && BandOf(static_cast<double>(k) * binHz) == b;
      band[k][0] = in ? spectrum[k][0] : 0.0;
      band[k][1] = in ? spectrum[k][1] : 0.0;
      any = any || in;
    }
    if (!any) {
      continue;  // the band lies above half the rate
    }
    fftw_execute(inverse.get());
    const double decayPerFrame = 3.0 * std::numbers::ln10 / (wanted.Rt60(b) * rate);
    for (std::size_t t = 0; t < length; ++t) {
      response[t] += time[t] * std::exp(-decayPerFrame * static_cast<double>(t));
    }
  }

  double energy = 0.0;
  for (const double r : response) {
    energy += r * r;
  }
  const double scale =
      energy > 0.0 ? std::sqrt(std::pow(10.0, wanted.levelDb / 10.0) / energy) : 0.0;
  for (double& r : response) {
    r *= scale;
  }
  return response;
}

}  // namespace simroom
