#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sample_word.h"

// The sample rate at which the program records; Analyze counts each band's
// cycles of tone at this rate.
inline constexpr double kAnalysisRate = 48000.0;

// A band needs at least this many cycles of its own tone before the average
// magnitude of its samples means anything: over a fraction of a cycle it
// depends on where that stretch of the sine happens to fall.
inline constexpr double kMinResolvedCycles = 3.0;

// The level of a band that has no usable average.
inline constexpr double kNoLevelDb = -144.0;

struct BandResult {
  double magnitudeSum = 0.0;
  std::int64_t count = 0;
  // Cycles of tone that the band's samples hold: the sum of their track
  // frequencies divided by the sample rate.
  double cycles = 0.0;
  bool hasLevel = false;  // some sample fell into the band and not all were 0
  double level = kNoLevelDb;
  // Samples were filed here but too few cycles to trust their average.
  bool unresolved = false;
};

struct BandLevels {
  std::vector<BandResult> bands;
  double sweepPeak = 0.0;  // largest sample magnitude examined
  // The band whose average is 0 dB, or -1 when no band has a level. It is the
  // loudest band that is not unresolved; when every band with a level is
  // unresolved it is the loudest of those, so the table is still relative to
  // something, and the warning says that the whole table is unreliable.
  std::int32_t referenceBand = -1;
};

// The whole analysis without any output: pairs recorded sample
// pad + syncOffset + j with track entry j for the sampleCount - 2 * pad tone
// samples j whose recorded index lies inside recorded, files them into the
// bands by their upper edges high, and levels every band against the
// reference band. rate is the sample rate at which a band's cycles are
// counted.
BandLevels ComputeBandLevels(std::int32_t sampleCount, std::int32_t bandCount,
                             const double* freqTrack, const SampleWord* recorded,
                             std::int32_t syncOffset, const double* high, std::int32_t pad,
                             double rate = kAnalysisRate);

// Replaces report with the results table of levels; it grows as needed, so
// no band line is ever cut off.
void WriteReport(const BandLevels& levels, const double* low, const double* high,
                 std::string& report);

// The one-line warning that names the unresolved bands, or an empty text when
// there are none.
std::string UnresolvedWarning(const BandLevels& levels);

// Files every recorded tone sample under its sweep frequency, levels each
// band against the loudest band that holds enough cycles of tone, writes the
// results report into report and prints it with the missing-band lines and
// the sweep's return level; names the unresolved bands on standard error.
void Analyze(std::int32_t sampleCount, std::int32_t bandCount, const double* freqTrack,
             const SampleWord* recorded, std::int32_t syncOffset, const double* low,
             const double* high, std::string& report, std::int32_t pad);
