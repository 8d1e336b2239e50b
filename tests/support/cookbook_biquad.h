#pragma once

// The room's filters as the audio EQ cookbook defines them, worked out here
// from the textbook formulas and not from the program's own code, so that
// the tests hold the simulated room and the correction to the formulas.

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

// A second-order section with a0 normalised to 1.
struct Biquad {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double rate = 48000.0;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

  [[nodiscard]] std::complex<double> Response(double hz) const;  // H at hz
  [[nodiscard]] double Magnitude(double hz) const { return std::abs(Response(hz)); }
  double Step(double x) {  // the next output sample
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

Biquad Design(const FilterSpec& f, double rate = 48000.0);

// H at hz of the filters one after the other (1 for none).
std::complex<double> CookbookResponse(const std::vector<FilterSpec>& filters, double hz);

// input (samples on the 24-bit scale) through every filter in turn, each
// starting at rest.
std::vector<double> FilterThrough(const std::vector<FilterSpec>& filters,
                                  std::span<const std::int32_t> input);

// The entries inside a simroom device's `filters { }`.
std::string FilterEntries(const std::vector<FilterSpec>& filters);
