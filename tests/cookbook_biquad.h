#pragma once

// The room's filters as the audio EQ cookbook defines them, worked out here
// from the textbook formulas and not from the simulated room's own code, so
// that the tests hold the device to the formulas.

#include <complex>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct FilterSpec {
  std::string type;  // "lowpass", "highpass", "peaking" or "notch"
  double freq = 1000.0;
  double q = 0.707;
  double gainDb = 0.0;  // peaking only
};

// A second-order section with a0 normalised to 1, and the state to run it.
struct Biquad {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double rate = 48000.0;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

  [[nodiscard]] std::complex<double> Response(double hz) const;  // H at hz
  [[nodiscard]] double Magnitude(double hz) const;               // |H| at hz
  double Step(double x);                                         // the next output sample
};

Biquad Design(const FilterSpec& f, double rate = 48000.0);

// input (samples on the 24-bit scale) through every filter in turn, each
// starting at rest.
std::vector<double> FilterThrough(const std::vector<FilterSpec>& filters,
                                  std::span<const std::int32_t> input);

// The entries inside a simroom device's `filters { }`.
std::string FilterEntries(const std::vector<FilterSpec>& filters);
