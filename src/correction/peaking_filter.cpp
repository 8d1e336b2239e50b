#include "correction/peaking_filter.h"

#include <cmath>
#include <numbers>

PeakingSection DesignPeaking(const PeakingFilter& filter, double rate) {
  const double w0 = 2.0 * std::numbers::pi * filter.hz / rate;
  const double cosW0 = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * filter.q);
  const double amplitude = std::pow(10.0, filter.gainDb / 40.0);
  const double a0 = 1.0 + alpha / amplitude;
  PeakingSection section;
  section.b = {(1.0 + alpha * amplitude) / a0, -2.0 * cosW0 / a0, (1.0 - alpha * amplitude) / a0};
  section.a = {-2.0 * cosW0 / a0, (1.0 - alpha / amplitude) / a0};
  return section;
}

std::complex<double> UnitDelayAt(double hz, double rate) {
  return std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
}

std::complex<double> ResponseAt(const PeakingSection& section, std::complex<double> z1) {
  const std::complex<double> z2 = z1 * z1;
  return (section.b[0] + section.b[1] * z1 + section.b[2] * z2) /
         (1.0 + section.a[0] * z1 + section.a[1] * z2);
}

double SummedGainDb(std::span<const PeakingFilter> filters, double hz, double rate) {
  const std::complex<double> z1 = UnitDelayAt(hz, rate);
  double sum = 0.0;
  for (const PeakingFilter& filter : filters) {
    sum += 20.0 * std::log10(std::abs(ResponseAt(DesignPeaking(filter, rate), z1)));
  }
  return sum;
}
