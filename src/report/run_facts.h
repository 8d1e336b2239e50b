#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "setup/run_constants.h"

// What a saved run records about how it was measured.
struct RunFacts {
  std::string dateTime;  // as the user should read it, e.g. "2024-05-01 14:03:22"
  std::string deviceName;
  double qFactor = 0.0;
  std::int32_t bandCount = 0;
  double startHz = 0.0;
  double endHz = 0.0;
  double sweepSeconds = 0.0;
  std::optional<std::int32_t> flightSamples;  // none: no time of flight was found
  std::string calibrationFile;                // empty: no microphone calibration applied
  int rate = SAMPLE_RATE;                     // of the recording, samples per second
  bool logSweep = false;                      // an exponential sweep, not a linear one
  std::optional<double> splOffsetDb{};        // levels in dB SPL: what 0 dBFS stands for
  std::string splFile{};                      // where that figure came from; empty: by hand
};

// One band of the results table.
struct BandStep {
  double lowHz = 0.0;
  double highHz = 0.0;
  double db = 0.0;  // relative to the loudest reliable band
  // Left out of the 0 dB reference: too few cycles of tone to trust.
  bool unreliable = false;
};

// "Q 4, 31 bands, 18-20000 Hz, 10 s sweep" ("10 s log sweep" for an exponential one)
std::string SettingsText(const RunFacts& facts);

// "172 samples, 3.58 ms, 1.23 m to the microphone", or a sentence that no
// time of flight was found.
std::string FlightText(const RunFacts& facts);

// "levels in dB SPL (0 dBFS = 114.00 dB SPL, from spl-calibration.txt)", or
// empty for relative levels.
std::string SplText(const RunFacts& facts);

// "1.23 m to the microphone", or "distance unknown".
std::string DistanceText(const RunFacts& facts);
