#pragma once

// One second-order section: its design (the audio EQ cookbook's shapes), its
// response at a frequency, and the state that runs it over samples, kept
// apart so that one design can be evaluated and run in many places at once.

#include <array>
#include <complex>
#include <vector>

enum class BiquadShape { kLowpass, kHighpass, kBandpass, kPeaking, kNotch };

// What a user or a configuration names: shape, centre or corner frequency,
// Q, and the gain of a peaking section.
struct BiquadSpec {
  BiquadShape shape = BiquadShape::kPeaking;
  double hz = 1000.0;
  double q = 0.707;
  double gainDb = 0.0;  // peaking only
};

// The section's coefficients with a0 normalised to 1.
struct BiquadCoefficients {
  std::array<double, 3> b{1.0, 0.0, 0.0};
  std::array<double, 2> a{0.0, 0.0};  // a1, a2
};

// The cookbook's formulas: w0 = 2 pi hz / rate, alpha = sin(w0) / (2 q),
// A = 10^(gainDb / 40). The band-pass has 0 dB at its centre.
BiquadCoefficients DesignBiquad(const BiquadSpec& wanted, double rate);

// e^(-j 2 pi hz / rate): the unit delay at hz, where a section is evaluated.
std::complex<double> UnitDelayAt(double hz, double rate);

// The section's transfer function at the unit delay z1 (see UnitDelayAt).
std::complex<double> ResponseAt(const BiquadCoefficients& section, std::complex<double> z1);

// A Butterworth band-pass of the given order (that of its low-pass prototype:
// order sections, 2 * order poles) from lowHz to highHz, its -3 dB edges: the
// analog prototype is turned into a band-pass (s -> (s^2 + w0^2) / (B s), the
// edges pre-warped) and each conjugate pair of its poles mapped by the bilinear
// transform into one section with zeros at 0 Hz and rate / 2. Each section is
// scaled to 0 dB at the centre, so the cascade is too. For fractional-octave
// bands: the band must be narrower than about two octaves, so that every pole
// pair is complex, and lie below rate / 2.
std::vector<BiquadCoefficients> DesignButterworthBandpass(int order, double lowHz, double highHz,
                                                          double rate);

// The running state of one section, in transposed direct form II.
class BiquadState {
 public:
  double Process(const BiquadCoefficients& c, double x) {
    const double y = c.b[0] * x + z1_;
    z1_ = c.b[1] * x - c.a[0] * y + z2_;
    z2_ = c.b[2] * x - c.a[1] * y;
    return y;
  }
  void Reset() { z1_ = z2_ = 0.0; }

 private:
  double z1_ = 0.0;
  double z2_ = 0.0;
};
