#pragma once

#include <optional>
#include <span>

#include "analysis/response_point.h"

// Frequency weightings of sound level meters, and the level a sweep gives at
// the microphone.

// The C and A curves' magnitude in dB at hz (> 0), from the closed forms of
// IEC 61672-1 (poles at 20.6, 107.7, 737.9 and 12194 Hz), normalised to
// exactly 0 dB at 1 kHz.
double CWeightingDb(double hz);
double AWeightingDb(double hz);

// How the sweep spends its time over frequency: a linear sweep the same time
// on every hertz, an exponential one the same time on every octave (time per
// hertz proportional to 1/f).
enum class SweepPace { kLinear, kExponential };

// Levels in dB SPL, unweighted (Z) and C-weighted.
struct SweepSpl {
  double zDb = 0.0;
  double cDb = 0.0;
};

// The sweep's level at the microphone: its equivalent continuous level over
// the time the sweep plays, i.e. the power average of the response over
// frequency, each frequency counted for the time the sweep spends on it:
//   L = 10 log10( integral t(f) 10^((L(f) + W(f)) / 10) df / integral t(f) df )
// with L(f) the response, W(f) the weighting (0 for Z) and t(f) the time per
// hertz of pace, integrated by the trapezoid rule between the points, over
// the span they cover.
//
// response: points at rising frequencies, db the level in dB SPL that the
// microphone receives while the sweep plays that frequency. From a run's fine
// response (0 dB: the recording equals the played signal) that is its db
// plus the sweep's level in dBFS (a full-scale sine at 0 dBFS, so -6.02 for
// the run's half-scale sweep) plus the dB SPL at 0 dBFS of the calibration.
// Nothing with fewer than two points.
std::optional<SweepSpl> SweepLevelAtMicrophone(std::span<const ResponsePoint> response,
                                               SweepPace pace);
