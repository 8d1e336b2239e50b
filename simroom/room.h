#pragma once

// The acoustic path from output 1 to input 1: gain, a chain of biquads and
// the microphone's noise.

#include <cstdint>
#include <vector>

#include "room_config.h"

namespace simroom {

inline constexpr double kFullScale = 8388608.0;  // 2^23, the 24-bit converter's full scale

// One second-order section of the room and its running state.
class Biquad {
 public:
  Biquad(const FilterSpec& filter, double rate) : coefficients_(DesignBiquad(filter, rate)) {}
  double Process(double x) { return state_.Process(coefficients_, x); }
  void Reset() { state_.Reset(); }

 private:
  BiquadCoefficients coefficients_;
  BiquadState state_;
};

// The loudspeaker-to-microphone path without its delay, with the equaliser
// that the room may be played through.
class RoomPath {
 public:
  RoomPath(const RoomConfig& config, double rate);
  double Process(double x);
  void Reset();

 private:
  double gain_;
  std::vector<Biquad> filters_;
};

// Gaussian white noise at a fixed RMS level. Each frame's value depends only
// on the seed and the frame's number, so that the same frame always hears the
// same noise, however often it is fetched.
class Noise {
 public:
  Noise(std::uint64_t seed, double levelDb);
  double At(std::int64_t frame) const;

 private:
  std::uint64_t seed_;
  double rms_;
};

// A converter's input: rounds to the nearest step and clips at full scale.
std::int32_t Saturate24(double x);

}  // namespace simroom
