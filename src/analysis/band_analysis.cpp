#include "analysis/band_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "analysis/levels.h"

namespace {

// printf into the end of text, however long the result.
void AppendFormat(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

void AppendFormat(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const std::size_t start = text.size();
    text.resize(start + static_cast<std::size_t>(length) + 1);
    (void)std::vsnprintf(text.data() + start, static_cast<std::size_t>(length) + 1, format, again);
    text.resize(start + static_cast<std::size_t>(length));
  }
  va_end(again);
}

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

}  // namespace

BandLevels ComputeBandLevels(std::int32_t sampleCount, std::int32_t bandCount,
                             const double* freqTrack, const SampleWord* recorded,
                             std::int32_t syncOffset, const double* high, std::int32_t pad,
                             double rate) {
  BandLevels result;
  if (bandCount < 1) {
    return result;
  }
  result.bands.resize(static_cast<std::size_t>(bandCount));

  // Only the tone is paired: the silences around it carry no frequency of
  // the sweep. And only recorded indices inside the recording: a missing sync
  // pulse can put the start of the window before it.
  const std::int64_t toneSamples = static_cast<std::int64_t>(sampleCount) - 2 * std::int64_t{pad};
  const std::int64_t offset = std::int64_t{syncOffset} + pad;
  const std::int64_t first = std::max<std::int64_t>(0, -offset);
  const std::int64_t last = std::min<std::int64_t>(toneSamples, sampleCount - offset);

  // The band index only moves upward, as the track rises.
  std::int32_t j = 0;
  BandResult* band = result.bands.data();
  for (std::int64_t i = first; i < last; ++i) {
    const double f = freqTrack[i];
    if (j < bandCount - 1 && f > high[j]) {
      while (j < bandCount - 1 && f > high[j]) {
        ++j;
      }
      band = &result.bands[static_cast<std::size_t>(j)];
    }
    const double magnitude = std::fabs(static_cast<double>(recorded[offset + i]));
    band->magnitudeSum += magnitude;
    ++band->count;
    band->cycles += f;
    result.sweepPeak = std::max(magnitude, result.sweepPeak);
  }

  for (BandResult& b : result.bands) {
    b.cycles /= rate;
    b.hasLevel = b.count > 0 && b.magnitudeSum > 0.0;
    b.unresolved = b.count > 0 && b.cycles < kMinResolvedCycles;
  }
  result.referenceBand =
      LoudestBand(result.bands, [](const BandResult& b) { return !b.unresolved; });
  if (result.referenceBand < 0) {
    result.referenceBand = LoudestBand(result.bands, [](const BandResult&) { return true; });
  }
  if (result.referenceBand >= 0) {
    const BandResult& ref = result.bands[static_cast<std::size_t>(result.referenceBand)];
    const double reference = ref.magnitudeSum / static_cast<double>(ref.count);
    for (BandResult& b : result.bands) {
      if (b.hasLevel) {
        b.level = RtodB(b.magnitudeSum / static_cast<double>(b.count) / reference);
      }
    }
  }
  return result;
}

void WriteReport(const BandLevels& levels, const double* low, const double* high,
                 std::string& report) {
  report.assign("Results:\nBand\tRange (Hz)\tdB\n");
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    AppendFormat(report, "%i\t%.0f\t%.0f\t%.1f\n", static_cast<int>(k + 1), low[k], high[k],
                 levels.bands[k].level);
  }
}

std::string UnresolvedWarning(const BandLevels& levels) {
  std::string names;
  std::size_t unresolvedCount = 0;
  const std::size_t n = levels.bands.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (!levels.bands[k].unresolved) {
      continue;
    }
    ++unresolvedCount;
    // Neighbouring bands are named as a range, so even a long list of low
    // bands stays short: "1-10, 12".
    const bool startsRange = k == 0 || !levels.bands[k - 1].unresolved;
    const bool endsRange = k + 1 == n || !levels.bands[k + 1].unresolved;
    if (startsRange) {
      AppendFormat(names, "%s%zu", names.empty() ? "" : ", ", k + 1);
    } else if (endsRange) {
      AppendFormat(names, "-%zu", k + 1);
    }
  }
  if (unresolvedCount == 0) {
    return {};
  }
  const bool one = unresolvedCount == 1;
  const bool referenceUnresolved =
      levels.referenceBand >= 0 &&
      levels.bands[static_cast<std::size_t>(levels.referenceBand)].unresolved;
  std::string text;
  AppendFormat(text, "Warning: %s %s %s fewer than 3 cycles of %s tone, so %s unreliable",
               one ? "band" : "bands", names.c_str(), one ? "holds" : "hold", one ? "its" : "their",
               one ? "its level is" : "their levels are");
  text += referenceUnresolved
              ? " and, as no other band has a level, the 0 dB reference is among them."
              : " and left out of the choice of the 0 dB reference.";
  text += " Use a longer sweep or a narrower frequency range.\n";
  return text;
}

void Analyze(std::int32_t sampleCount, std::int32_t bandCount, const double* freqTrack,
             const SampleWord* recorded, std::int32_t syncOffset, const double* low,
             const double* high, std::string& report, std::int32_t pad) {
  const BandLevels levels = ComputeBandLevels(sampleCount, bandCount, freqTrack, recorded,
                                              syncOffset, high, pad, kAnalysisRate);
  WriteReport(levels, low, high, report);
  (void)std::fwrite(report.data(), 1, report.size(), stdout);
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    if (levels.bands[k].count == 0) {
      std::printf("Band %i is missing data\n", static_cast<int>(k + 1));
    }
  }
  std::printf("Ch 1 (sweep): Return Level = %.1f dB\n", RtodB(levels.sweepPeak / kFullScale));
  const std::string warning = UnresolvedWarning(levels);
  if (!warning.empty()) {
    // The table comes first on a terminal that shows both streams.
    (void)std::fflush(stdout);
    (void)std::fputs(warning.c_str(), stderr);
  }
}
