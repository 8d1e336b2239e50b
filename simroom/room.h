#pragma once

// The acoustic path from output 1 to input 1: the loudspeaker's
// nonlinearity, a chain of biquads, an impulse response or a reverberant
// tail, a gain, and the microphone's noise or a calibrator.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "convolver.h"
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
  // convolver: the room's impulse response (`ir`) or reverberant tail
  // (`reverb`), made by MakeRoomConvolver; none on a capture stream.
  RoomPath(const RoomConfig& config, double rate, std::unique_ptr<Convolver> convolver = nullptr);
  double Process(double x);
  void Reset();

 private:
  double gain_;
  std::vector<Biquad> filters_;
  std::optional<NonlinearSpec> nonlinear_;
  std::unique_ptr<Convolver> convolver_;
  bool keepDirect_;  // reverb: the tail is added to the direct sound; ir: it is the sound
};

// The convolution engine for the configuration's `ir` or `reverb`, or none
// when it has neither. Failures are named through SNDERR: -ENOMEM, or
// -EINVAL when FFTW makes no plan.
int MakeRoomConvolver(const RoomConfig& config, std::unique_ptr<Convolver>& out);

// A sound-level calibrator's steady sine on the 24-bit scale, in phase with
// the capture stream's frame count.
class Calibrator {
 public:
  Calibrator(const CalibratorSpec& wanted, double rate);
  double At(std::int64_t frame) const;

 private:
  double hz_;
  double rate_;
  double peak_;
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
