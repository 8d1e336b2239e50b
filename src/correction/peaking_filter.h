#pragma once

#include <array>
#include <complex>
#include <span>

// The rate at which correction filters are designed and evaluated: the rate
// the program measures at.
inline constexpr double kCorrectionRate = 48000.0;

// One parametric peaking filter as the user types it into an equaliser.
struct PeakingFilter {
  double hz = 1000.0;
  double gainDb = 0.0;  // negative: a cut
  double q = 1.0;
};

// The filter's second-order section with a0 normalised to 1, from the audio
// EQ cookbook: w0 = 2 pi hz / rate, alpha = sin(w0) / (2 q),
// A = 10^(gainDb / 40).
struct PeakingSection {
  std::array<double, 3> b{1.0, 0.0, 0.0};
  std::array<double, 2> a{0.0, 0.0};  // a1, a2
};

PeakingSection DesignPeaking(const PeakingFilter& filter, double rate = kCorrectionRate);

// e^(-j 2 pi hz / rate): the unit delay at hz, where a section is evaluated.
std::complex<double> UnitDelayAt(double hz, double rate = kCorrectionRate);

// The section's transfer function at the unit delay z1 (see UnitDelayAt).
std::complex<double> ResponseAt(const PeakingSection& section, std::complex<double> z1);

// The summed gain in dB of all filters at hz.
double SummedGainDb(std::span<const PeakingFilter> filters, double hz,
                    double rate = kCorrectionRate);
