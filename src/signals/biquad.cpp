#include "signals/biquad.h"

#include <cmath>
#include <numbers>
#include <vector>

BiquadCoefficients DesignBiquad(const BiquadSpec& wanted, double rate) {
  const double w0 = 2.0 * std::numbers::pi * wanted.hz / rate;
  const double cosW0 = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * wanted.q);
  // The notch's numerator and the common denominator; the other shapes
  // change what differs.
  std::array<double, 3> b{1.0, -2.0 * cosW0, 1.0};
  double a0 = 1.0 + alpha;
  double a2 = 1.0 - alpha;
  switch (wanted.shape) {
    case BiquadShape::kLowpass:
      b = {(1.0 - cosW0) / 2.0, 1.0 - cosW0, (1.0 - cosW0) / 2.0};
      break;
    case BiquadShape::kHighpass:
      b = {(1.0 + cosW0) / 2.0, -(1.0 + cosW0), (1.0 + cosW0) / 2.0};
      break;
    case BiquadShape::kBandpass:
      b = {alpha, 0.0, -alpha};
      break;
    case BiquadShape::kPeaking: {
      const double amplitude = std::pow(10.0, wanted.gainDb / 40.0);
      b = {1.0 + alpha * amplitude, -2.0 * cosW0, 1.0 - alpha * amplitude};
      a0 = 1.0 + alpha / amplitude;
      a2 = 1.0 - alpha / amplitude;
      break;
    }
    case BiquadShape::kNotch:
      break;
  }
  return {.b = {b[0] / a0, b[1] / a0, b[2] / a0}, .a = {-2.0 * cosW0 / a0, a2 / a0}};
}

std::complex<double> UnitDelayAt(double hz, double rate) {
  return std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
}

std::complex<double> ResponseAt(const BiquadCoefficients& section, std::complex<double> z1) {
  const std::complex<double> z2 = z1 * z1;
  return (section.b[0] + section.b[1] * z1 + section.b[2] * z2) /
         (1.0 + section.a[0] * z1 + section.a[1] * z2);
}

std::vector<BiquadCoefficients> DesignButterworthBandpass(int order, double lowHz, double highHz,
                                                          double rate) {
  const double pi = std::numbers::pi;
  const double twiceRate = 2.0 * rate;
  const double lowRad = twiceRate * std::tan(pi * lowHz / rate);
  const double highRad = twiceRate * std::tan(pi * highHz / rate);
  const double centreSquared = lowRad * highRad;
  const double width = highRad - lowRad;
  // The digital frequency that the analog centre maps to, where the
  // Butterworth band-pass passes 0 dB.
  const std::complex<double> centre =
      UnitDelayAt(rate / pi * std::atan(std::sqrt(centreSquared) / twiceRate), rate);
  std::vector<BiquadCoefficients> sections;
  for (int k = 0; k < order; ++k) {
    const std::complex<double> prototype =
        std::polar(1.0, pi / 2.0 + pi * (2.0 * k + 1.0) / (2.0 * order));
    const std::complex<double> half = prototype * width / 2.0;
    const std::complex<double> root = std::sqrt(half * half - centreSquared);
    // The two band-pass poles of one prototype pole have the product w0^2, so
    // one lies above the real axis and one below: the one above and its
    // conjugate (from the conjugate prototype pole) make a section.
    const std::complex<double> pole = (half + root).imag() > 0.0 ? half + root : half - root;
    const std::complex<double> z = (twiceRate + pole) / (twiceRate - pole);
    BiquadCoefficients section{.b = {1.0, 0.0, -1.0}, .a = {-2.0 * z.real(), std::norm(z)}};
    const double gain = 1.0 / std::abs(ResponseAt(section, centre));
    section.b = {gain, 0.0, -gain};
    sections.push_back(section);
  }
  return sections;
}
