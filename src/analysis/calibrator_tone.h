#pragma once

#include <cstdint>
#include <span>

#include "audio/sample_word.h"
#include "setup/run_constants.h"

// The level of a sound-level calibrator's tone (94 or 114 dB SPL at 1 kHz) as
// input 1 records it, and from it the sound level that reads 0 dBFS.
//
// Levels in dBFS follow the calibration's convention: a full-scale sine
// reads 0 dBFS, so a tone of RMS r (on the 24-bit scale) reads
// 20 log10(r * sqrt(2) / 2^23).

// Why a recording gives no calibration.
enum class ToneFault {
  kNone,
  kTooShort,      // under kMinCalibratorSeconds
  kClipped,       // samples at full scale
  kNoTone,        // no tone holds most of the recording's power
  kOffFrequency,  // a tone, but more than 1 % from 1000 Hz
  kUnsteady,      // its level moves by more than kMaxToneSpreadDb between blocks
};

inline constexpr double kCalibratorHz = 1000.0;
inline constexpr double kMaxFrequencyError = 0.01;
inline constexpr double kMinCalibratorSeconds = 1.0;
inline constexpr double kMaxToneSpreadDb = 0.5;
// The tone's band must hold this share of the power (the rest, noise and hum,
// lies at least 6 dB below the tone).
inline constexpr double kMinToneShare = 0.8;

struct CalibratorRecording {
  std::span<const SampleWord> samples;  // input 1, the calibrator on the microphone
  double rate = SAMPLE_RATE;            // above 2100 Hz, so that the tone is in range
  double calibratorDbSpl = 94.0;
};

// What was found. The figures are filled as far as the analysis got: hz and
// share from kNoTone on, spreadDb and dbfs from kUnsteady on, offsetDb only
// without a fault.
struct CalibratorTone {
  ToneFault fault = ToneFault::kNone;
  std::int64_t clippedSamples = 0;
  double hz = 0.0;        // the strongest tone's frequency
  double share = 0.0;     // of the recording's power (its mean taken out) in the tone's band
  double spreadDb = 0.0;  // the loudest block's level over the softest's, 0.1 s blocks
  double dbfs = 0.0;      // the tone's level, band-limited RMS
  double offsetDb = 0.0;  // dB SPL at 0 dBFS: calibratorDbSpl - dbfs
};

// Finds the strongest tone (its frequency from a Hann-windowed spectrum's
// peak, interpolated), isolates it with two band-pass sections centred on it,
// and measures its level after the filters have settled. Not thread-safe:
// FFTW's planner is shared.
CalibratorTone MeasureCalibratorTone(const CalibratorRecording& recording);
