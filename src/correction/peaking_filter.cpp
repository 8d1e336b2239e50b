#include "correction/peaking_filter.h"

#include <cmath>

BiquadCoefficients DesignPeaking(const PeakingFilter& filter) {
  return DesignBiquad(
      {.shape = BiquadShape::kPeaking, .hz = filter.hz, .q = filter.q, .gainDb = filter.gainDb},
      kCorrectionRate);
}

std::complex<double> CorrectionUnitDelay(double hz) {
  return UnitDelayAt(hz, kCorrectionRate);
}

double SummedGainDb(std::span<const PeakingFilter> filters, double hz) {
  const std::complex<double> z1 = CorrectionUnitDelay(hz);
  double sum = 0.0;
  for (const PeakingFilter& filter : filters) {
    sum += 20.0 * std::log10(std::abs(ResponseAt(DesignPeaking(filter), z1)));
  }
  return sum;
}
