#pragma once

// The fractional-octave bands of room acoustics (IEC 61260-1, base 10): their
// exact and nominal mid-band frequencies, their edges and the Butterworth
// band-pass that separates each.

#include <vector>

#include "signals/biquad.h"

enum class BandResolution { kOctave, kThirdOctave };

struct FilterBand {
  double exactHz = 0.0;    // 1000 * G^(x / b), G = 10^(3/10)
  double nominalHz = 0.0;  // what a table names it: 63, 125, 1000, 3150
  double lowHz = 0.0;      // exactHz * G^(-1 / 2b)
  double highHz = 0.0;     // exactHz * G^(1 / 2b)
  std::vector<BiquadCoefficients> sections;
};

// Order of the low-pass prototype (the number of sections) that meets IEC
// 61260-1 class 1: 5 for octaves, 6 for third-octaves.
int BandFilterOrder(BandResolution resolution);

// The octave bands 63 Hz to 8 kHz or the third-octave bands 50 Hz to 10 kHz
// whose edges lie inside [startHz, topHz] (and below rate / 2), from the
// lowest up, with their filters designed for rate.
std::vector<FilterBand> DesignBandFilters(BandResolution resolution, double startHz, double topHz,
                                          double rate);
