#pragma once

#include <span>

#include "setup/run_constants.h"
#include "signals/biquad.h"

// Correction filters are designed and evaluated at the rate the program
// measures at.
inline constexpr double kCorrectionRate = SAMPLE_RATE;

// One parametric peaking filter as the user types it into an equaliser.
struct PeakingFilter {
  double hz = 1000.0;
  double gainDb = 0.0;  // negative: a cut
  double q = 1.0;
};

// The filter's section at the correction rate.
BiquadCoefficients DesignPeaking(const PeakingFilter& filter);

// The unit delay at hz at the correction rate.
std::complex<double> CorrectionUnitDelay(double hz);

// The summed gain in dB of all filters at hz.
double SummedGainDb(std::span<const PeakingFilter> filters, double hz);
