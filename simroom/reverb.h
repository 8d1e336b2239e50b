#pragma once

// A diffuse reverberant tail: seeded noise split into octave bands, each
// decaying at its own reverberation time, made once when the room is configured.

#include <cstdint>
#include <vector>

namespace simroom {

// Octave bands centred on 62.5 Hz (nominally 63) to 8 kHz.
inline constexpr int kReverbBands = 8;
inline constexpr double kReverbLowestCentreHz = 62.5;
// The tail ends where its slowest band has decayed by this much.
inline constexpr double kReverbSpanDb = 80.0;
inline constexpr double kMinRt60 = 0.01;
inline constexpr double kMaxRt60 = 10.0;

struct ReverbSpec {
  std::vector<double> rt60;  // seconds, per band from the lowest; fewer: the last one held
  double levelDb = -6.0;     // the tail's energy relative to the direct sound's (a unit impulse)
  std::uint64_t seed = 1;

  // The reverberation time of band b (0: 62.5 Hz ... 7: 8 kHz).
  double Rt60(int band) const;
};

// The tail's impulse response at `rate`, without the direct sound: its
// energy (sum of squares) is 10^(levelDb / 10). Throws std::bad_alloc, or
// std::runtime_error when FFTW makes no plan.
std::vector<double> MakeReverbResponse(const ReverbSpec& wanted, double rate);

}  // namespace simroom
