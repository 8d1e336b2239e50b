#include "analysis/levels.h"

#include <cmath>
#include <cstdio>

double RtodB(double ratio) {
  return 20.0 * std::log10(ratio);
}

std::int32_t SearchPeak(const SampleWord* samples, std::int32_t count, double& peak) {
  // Signed and strict: the burst's positive crest marks the sync position, a
  // negative excursion never does, and the first of equal maxima wins.
  peak = 0.0;
  std::int32_t index = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const auto v = static_cast<double>(samples[i]);
    if (v > peak) {
      peak = v;
      index = i;
    }
  }
  return index;
}

std::int32_t FindPeak(const SampleWord* samples, std::int32_t count) {
  double peak = 0.0;
  const std::int32_t index = SearchPeak(samples, count, peak);
  std::printf("Ch 2 (sync): Return Level = %.1f dB\n", RtodB(peak / kFullScale));
  return index;
}
