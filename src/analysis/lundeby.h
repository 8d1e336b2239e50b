#pragma once

// Where a measured decay sinks into the background noise, after Lundeby,
// Vigran, Bietz and Vorlaender, "Uncertainties of measurements in room
// acoustics", Acustica 81 (1995), as ISO 3382-1 recommends for truncating
// the Schroeder integral.

#include <cstddef>
#include <span>

struct NoiseEstimate {
  // False when no decay stands 10 dB above the noise; then crossing is the
  // end and the rest holds the first estimates.
  bool decays = false;
  std::size_t crossing = 0;  // sample where the late decay line meets the noise
  double noisePower = 0.0;   // mean energy of a noise sample
  // The decay's peak: the highest mean energy of the first smoothing's
  // intervals or, where the first line through the decay starts higher
  // (a decay that falls far within one interval), that line's start.
  double peakPower = 0.0;
  double decayPerSample = 0.0;  // the late decay's energy falls as exp(-decayPerSample * n)
  // What the late decay line holds from the crossing on: the energy that
  // truncating the integral there cuts off.
  double tailEnergy = 0.0;
};

// energy: a squared impulse response from its start on. firstIntervalS:
// Lundeby's first smoothing interval (10 to 50 ms; longer at low
// frequencies). The iteration: mean energy in intervals, a line through the
// decay down to 10 dB above the noise, its crossing with the noise; then, with
// intervals of a fifth of 10 dB of decay, the noise from 10 dB of decay past
// the crossing (at least the last 10 %), a line through the late decay from
// 30 to 10 dB above that noise, and its crossing, until the crossing settles.
NoiseEstimate EstimateNoise(std::span<const double> energy, double rate, double firstIntervalS);
