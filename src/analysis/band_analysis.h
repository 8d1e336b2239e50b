#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "audio/sample_word.h"
#include "signals/sweep.h"

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
  // The band reaches above half the sample rate, where no tone is played.
  bool aboveNyquist = false;
};

struct BandLevels {
  std::vector<BandResult> bands;
  double sweepPeak = 0.0;  // largest sample magnitude examined
  double nyquistHz = 0.0;  // half the rate: no tone is played above it
  // The band whose average is 0 dB, or -1 when no band has a level. It is the
  // loudest band that is neither unresolved nor above half the rate; when
  // every band with a level is unresolved it is the loudest of those (never
  // one above half the rate), so the table is still relative to something,
  // and the warning says that the whole table is unreliable.
  std::int32_t referenceBand = -1;
};

// What the band analysis files: the frequency of every tone sample (listed,
// or a sweep's straight line), the recording, and the index in it of the
// answer to the first tone sample.
struct BandInput {
  std::variant<std::span<const double>, ToneTrack> toneTrack;
  std::span<const SampleWord> recorded;
  std::int64_t firstAnswer = 0;
  double rate = 0.0;  // samples per second, at which a band's cycles are counted
  // The microphone's gain (as a ratio) at the frequency of each tone sample;
  // every filed sample is divided by it. Empty: a flat microphone.
  std::span<const double> micGain{};
};

// Pairs recorded sample firstAnswer + j with track entry j for every tone
// sample j whose answer lies inside the recording, files them into the bands
// by their upper edges high (one per band), and levels every band against
// the reference band. Prints nothing.
BandLevels ComputeBandLevels(const BandInput& input, std::span<const double> high);
