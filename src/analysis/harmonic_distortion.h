#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/room_response.h"

// A loudspeaker's harmonic distortion from the two-sided response of an
// exponential sweep (signals/log_sweep.h). The k-th harmonic's response lies
// L ln k before the linear one, L the sweep's rate constant; each is cut out
// in its own window, and its spectrum at k f is what the excitation f made.

// The harmonics measured: 2 to 5.
inline constexpr int kHighestHarmonic = 5;
inline constexpr int kHarmonicCount = kHighestHarmonic - 1;
inline constexpr double kDistortionPointsPerOctave = 24.0;

// The fundamental's window must hold this many cycles of the start frequency.
inline constexpr double kDistortionWindowCycles = 3.0;
// The room's decay: how long the linear response takes to fall this far
// below its loudest 5 ms (or into the noise, when that comes first).
inline constexpr double kDecayDropDb = 30.0;
// Harmonics are reported from this many octaves above the sweep's start:
// below it the harmonics' onsets at the start of the sweep spill into each
// other's windows.
inline constexpr double kHarmonicsFromOctaves = 1.0 / 3.0;
// A harmonic counts as measured where it stands this far above the noise
// floor: the noise then adds at most 1 dB to it.
inline constexpr double kAboveFloorDb = 6.0;

struct DistortionPoint {
  double hz = 0.0;  // the excitation
  // The linear response's level at hz (0 dB: the recording equals the played
  // signal), averaged over 1/24 octave.
  double fundamentalDb = 0.0;
  // H2..H5 at index k - 2: the k-th harmonic's level at k hz relative to the
  // fundamental at hz, in dB, averaged over 1/24 octave. Empty where that
  // band reaches above the sweep's top (its end or half the rate), in the
  // first kHarmonicsFromOctaves above its start, and where the harmonic does
  // not stand kAboveFloorDb above the noise floor there.
  std::array<std::optional<double>, kHarmonicCount> harmonicDb{};
  // The root sum of the measured harmonics' powers relative to the
  // fundamental, in percent; empty when no harmonic was measured.
  std::optional<double> thdPercent{};

  [[nodiscard]] const std::optional<double>& Harmonic(int k) const {
    return harmonicDb.at(static_cast<std::size_t>(k - 2));
  }
};

// The analysis's result; it prints nothing.
struct HarmonicDistortion {
  // Empty when measured; otherwise why not and what to do, as sentences,
  // and no points.
  std::string refusal;
  // Every 1/24 octave from the sweep's start up to its top.
  std::vector<DistortionPoint> points;

  [[nodiscard]] bool Measured() const { return refusal.empty(); }
};

// How much of the response before time 0 the analysis reads, for
// MeasureRoomResponse's leadSamples: back to the earliest window of the
// highest harmonic the range holds. 0 when rateConstant is not positive.
std::size_t DistortionLeadSamples(const SweepRange& range, double rateConstant);

// What the analysis needs to know of the sweep and the run besides the
// response: the sweep's rate constant L (LogSweepPlan::rateConstant, in
// seconds) and where the direct sound arrived (FindTimeOfFlight, 0 when none
// was found).
struct SweepTiming {
  double rateConstant = 0.0;
  std::int32_t timeOfFlight = 0;
};

// The harmonic distortion of the loudspeaker from room, deconvolved with at
// least DistortionLeadSamples of lead, of an exponential sweep over range.
// The windows follow the time of flight: the fundamental's from half-way
// back to the 2nd harmonic to as far after its arrival, each harmonic's from
// half-way to the next higher one to half-way to the next lower one, none
// reaching more than a second (or 1.5 cycles of the start) from its arrival,
// each with half-Hann fades over a quarter of its length at either end (the
// arrival lies in the flat middle of every window). The noise floor is the
// higher of what the same windows measure in two stretches that hold no
// harmonic of order 5 or below: after the fundamental's window (as far after
// it as that window reaches after the arrival) and just before the 5th
// harmonic's. Refused when half the gap between the 2nd harmonic and the
// fundamental, L ln 2 / 2, cannot hold the room's decay and 1.5 cycles of
// the start frequency. Not thread-safe: FFTW's planner is shared.
HarmonicDistortion MeasureHarmonicDistortion(const RoomResponse& room, const SweepRange& range,
                                             const SweepTiming& timing);
