#include "analysis/band_analysis.h"

#include <algorithm>
#include <cmath>

#include "analysis/levels.h"

namespace {

// The loudest band among those that qualify, or -1 when none has a level.
template <typename Qualifies>
std::int32_t LoudestBand(const std::vector<BandResult>& bands, Qualifies qualifies) {
  std::int32_t loudest = -1;
  double reference = 0.0;
  for (std::size_t k = 0; k < bands.size(); ++k) {
    const BandResult& band = bands[k];
    if (!band.hasLevel || !qualifies(band)) {
      continue;
    }
    const double average = band.magnitudeSum / static_cast<double>(band.count);
    if (average > reference) {
      reference = average;
      loudest = static_cast<std::int32_t>(k);
    }
  }
  return loudest;
}

// Files each tone sample's answer into its band, by the band's upper edge.
template <typename Track>
void FileSamples(const BandInput& input, const Track& track, std::span<const double> high,
                 BandLevels& result) {
  const auto bandCount = static_cast<std::int32_t>(high.size());
  // Only recorded indices inside the recording: a missing sync pulse can put
  // the answer to the first tone sample before it.
  const auto toneSamples = static_cast<std::int64_t>(track.size());
  const auto recordedSamples = static_cast<std::int64_t>(input.recorded.size());
  const std::int64_t offset = input.firstAnswer;
  const std::int64_t first = std::max<std::int64_t>(0, -offset);
  const std::int64_t last = std::min<std::int64_t>(toneSamples, recordedSamples - offset);

  // The band index only moves upward, as the track rises.
  std::int32_t j = 0;
  BandResult* band = result.bands.data();
  for (std::int64_t i = first; i < last; ++i) {
    const double f = track[static_cast<std::size_t>(i)];
    if (j < bandCount - 1 && f > high[static_cast<std::size_t>(j)]) {
      while (j < bandCount - 1 && f > high[static_cast<std::size_t>(j)]) {
        ++j;
      }
      band = &result.bands[static_cast<std::size_t>(j)];
    }
    double magnitude =
        std::fabs(static_cast<double>(input.recorded[static_cast<std::size_t>(offset + i)]));
    if (!input.micGain.empty()) {
      magnitude /= input.micGain[static_cast<std::size_t>(i)];
    }
    band->magnitudeSum += magnitude;
    ++band->count;
    band->cycles += f;
    result.sweepPeak = std::max(magnitude, result.sweepPeak);
  }
}

// Levels every band against the reference band.
void LevelBands(BandLevels& result) {
  result.referenceBand = LoudestBand(
      result.bands, [](const BandResult& b) { return !b.unresolved && !b.aboveNyquist; });
  if (result.referenceBand < 0) {
    result.referenceBand =
        LoudestBand(result.bands, [](const BandResult& b) { return !b.aboveNyquist; });
  }
  if (result.referenceBand < 0) {
    return;
  }
  const BandResult& ref = result.bands[static_cast<std::size_t>(result.referenceBand)];
  const double reference = ref.magnitudeSum / static_cast<double>(ref.count);
  for (BandResult& b : result.bands) {
    if (b.hasLevel) {
      b.level = RtodB(b.magnitudeSum / static_cast<double>(b.count) / reference);
    }
  }
}

}  // namespace

BandLevels ComputeBandLevels(const BandInput& input, std::span<const double> high) {
  BandLevels result;
  result.nyquistHz = input.rate / 2.0;
  if (high.empty()) {
    return result;
  }
  result.bands.resize(high.size());
  std::visit([&](const auto& track) { FileSamples(input, track, high, result); }, input.toneTrack);
  for (std::size_t k = 0; k < result.bands.size(); ++k) {
    BandResult& b = result.bands[k];
    b.aboveNyquist = high[k] > result.nyquistHz;
    b.cycles /= input.rate;
    b.hasLevel = b.count > 0 && b.magnitudeSum > 0.0;
    b.unresolved = b.count > 0 && b.cycles < kMinResolvedCycles;
  }
  LevelBands(result);
  return result;
}
