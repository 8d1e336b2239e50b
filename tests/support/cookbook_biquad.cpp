#include "cookbook_biquad.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

std::complex<double> Biquad::Response(double hz) const {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
  const std::complex<double> z2 = z1 * z1;
  return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

Biquad Design(const FilterSpec& f, double rate) {
  const double w0 = 2.0 * std::numbers::pi * f.freq / rate;
  const double c = std::cos(w0);
  const double alpha = std::sin(w0) / (2.0 * f.q);
  const double a = std::pow(10.0, f.gainDb / 40.0);
  double b[3] = {1.0, -2.0 * c, 1.0};  // notch
  double den[3] = {1.0 + alpha, -2.0 * c, 1.0 - alpha};
  if (f.type == "lowpass") {
    b[0] = b[2] = (1.0 - c) / 2.0;
    b[1] = 1.0 - c;
  } else if (f.type == "highpass") {
    b[0] = b[2] = (1.0 + c) / 2.0;
    b[1] = -(1.0 + c);
  } else if (f.type == "peaking") {
    b[0] = 1.0 + alpha * a;
    b[2] = 1.0 - alpha * a;
    den[0] = 1.0 + alpha / a;
    den[2] = 1.0 - alpha / a;
  } else if (f.type != "notch") {
    throw std::invalid_argument("no cookbook filter " + f.type);
  }
  return {b[0] / den[0], b[1] / den[0], b[2] / den[0], den[1] / den[0], den[2] / den[0], rate};
}

std::complex<double> CookbookResponse(const std::vector<FilterSpec>& filters, double hz) {
  std::complex<double> h = 1.0;
  for (const FilterSpec& f : filters) h *= Design(f).Response(hz);
  return h;
}

std::vector<double> FilterThrough(const std::vector<FilterSpec>& filters,
                                  std::span<const std::int32_t> input) {
  std::vector<double> signal(input.begin(), input.end());
  for (const FilterSpec& filter : filters) {
    const Biquad h = Design(filter);
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (double& x : signal) {
      const double y = h.b0 * x + h.b1 * x1 + h.b2 * x2 - h.a1 * y1 - h.a2 * y2;
      x2 = x1;
      x1 = x;
      y2 = y1;
      y1 = x = y;
    }
  }
  return signal;
}

std::string FilterEntries(const std::vector<FilterSpec>& filters) {
  std::string text;
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterSpec& f = filters[i];
    text += std::to_string(i) + " { type \"" + f.type + "\" freq " + std::to_string(f.freq) +
            " q " + std::to_string(f.q);
    if (f.type == "peaking") text += " gain_db " + std::to_string(f.gainDb);
    text += " } ";
  }
  return text;
}
