#pragma once

#include <cstdint>
#include <optional>
#include <span>

// How far the direct sound's peak must rise above the RMS of the whole
// impulse response to count as found. Deconvolved noise peaks about 15 dB
// above its own RMS over a second or more; a real direct sound stands many
// tens of dB clear.
inline constexpr double kDirectSoundClearanceDb = 20.0;

// The index of the direct sound in impulse: the first sample within 6 dB of
// the largest magnitude (a reflection can outdo the direct sound, but never
// arrives before it), moved on to the top of its own peak. None when the
// largest magnitude does not stand clearanceDb above the response's RMS, as
// for a recording of noise alone.
std::optional<std::int32_t> FindTimeOfFlight(std::span<const float> impulse,
                                             double clearanceDb = kDirectSoundClearanceDb);

inline constexpr double kSpeedOfSound = 343.0;  // metres per second, in air at 20 C

// The time of flight in the units the run reports it in.
struct FlightSummary {
  std::int32_t samples = 0;
  double milliseconds = 0.0;
  double metres = 0.0;  // the microphone's distance from the loudspeaker
};

FlightSummary SummariseFlight(std::int32_t samples, double rate,
                              double speedOfSound = kSpeedOfSound);
