#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/room_response.h"

// How far the direct sound's peak must rise above the RMS of the whole
// impulse response to count as found. Deconvolved noise peaks about 15 dB
// above its own RMS over a second or more; a real direct sound stands many
// tens of dB clear.
inline constexpr double kDirectSoundClearanceDb = 20.0;

// The level, below the direct sound's peak in the response's envelope, at
// which the direct sound is taken to start (ISO 3382-1 takes the start
// where the squared response first rises to 20 dB below its maximum).
inline constexpr double kOnsetBelowPeakDb = 20.0;

// The index in impulse, measured with a sweep over range, at which the
// direct sound starts: its peak is the first within 6 dB of the envelope's
// largest value (a reflection can outdo the direct sound, but never arrives
// before it), moved on to the top of its own peak, and its start the first
// sample of the rise to that peak that lies within kOnsetBelowPeakDb of it,
// moved on by as much as the sweep's own band limit spreads a click. A
// loudspeaker that plays only the bass peaks late, but starts when a
// full-range one would. None when the largest magnitude does not stand
// clearanceDb above the response's RMS, as for a recording of noise alone.
std::optional<std::int32_t> FindTimeOfFlight(std::span<const float> impulse,
                                             const SweepRange& range,
                                             double clearanceDb = kDirectSoundClearanceDb);

// Below this, an impulse response holds no sweep: deconvolved noise alone
// peaks 13 to 17 dB above its own mean power, and a sweep that came back at
// all, through a loudspeaker that plays only the bass, stands 50 dB and more
// above it.
inline constexpr double kMinResponseSnrDb = 20.0;

// How far the impulse response's largest power stands above its noise
// floor, in dB: the mean power of its second half, where a room's
// reverberation has died away (the response runs on a second and more past
// time 0). 0 for an empty or silent response.
double ResponseSnrDb(std::span<const float> impulse);

inline constexpr double kSpeedOfSound = 343.0;  // metres per second, in air at 20 C

// The time of flight in the units the run reports it in.
struct FlightSummary {
  std::int32_t samples = 0;
  double milliseconds = 0.0;
  double metres = 0.0;  // the microphone's distance from the loudspeaker
};

FlightSummary SummariseFlight(std::int32_t samples, double rate,
                              double speedOfSound = kSpeedOfSound);
