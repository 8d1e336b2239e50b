#include "analysis/levels.h"

#include <cmath>

double RtodB(double ratio) {
  return 20.0 * std::log10(ratio);
}

SyncPeak FindPeak(std::span<const SampleWord> samples) {
  // Signed and strict: the burst's positive crest marks the sync position, a
  // negative excursion never does, and the first of equal maxima wins.
  SyncPeak found;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto v = static_cast<double>(samples[i]);
    if (v > found.peak) {
      found.peak = v;
      found.index = static_cast<std::int32_t>(i);
    }
  }
  return found;
}
