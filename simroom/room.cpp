#include "room.h"

#include <cmath>
#include <numbers>

namespace simroom {

RoomPath::RoomPath(const RoomConfig& config, double rate)
    : gain_(std::pow(10.0, config.gainDb / 20.0)) {
  // The equaliser's filters come after the room's: a correction heard in the room.
  filters_.reserve(config.filters.size() + config.correction.size());
  for (const auto* list : {&config.filters, &config.correction}) {
    for (const FilterSpec& filter : *list) {
      filters_.emplace_back(filter, rate);
    }
  }
}

double RoomPath::Process(double x) {
  for (Biquad& filter : filters_) {
    x = filter.Process(x);
  }
  return gain_ * x;
}

void RoomPath::Reset() {
  for (Biquad& filter : filters_) {
    filter.Reset();
  }
}

Noise::Noise(std::uint64_t seed, double levelDb)
    : seed_(seed),
      rms_(levelDb <= kNoiseOffDb ? 0.0 : kFullScale * std::pow(10.0, levelDb / 20.0)) {}

namespace {
// splitmix64's finaliser: small, fast and the same on every machine.
std::uint64_t Mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
}  // namespace

double Noise::At(std::int64_t frame) const {
  if (rms_ == 0.0) {
    return 0.0;
  }
  const std::uint64_t base = Mix(seed_ ^ Mix(static_cast<std::uint64_t>(frame)));
  // Box-Muller on two uniforms, the first in (0, 1].
  constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
  const double u1 = static_cast<double>((Mix(base) >> 11) + 1) * kScale;
  const double u2 = static_cast<double>(Mix(base + 1) >> 11) * kScale;
  return rms_ * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::int32_t Saturate24(double x) {
  const double r = std::nearbyint(x);
  if (std::isnan(r)) {
    return 0;
  }
  if (r >= kFullScale - 1.0) {
    return static_cast<std::int32_t>(kFullScale - 1.0);
  }
  if (r <= -kFullScale) {
    return static_cast<std::int32_t>(-kFullScale);
  }
  return static_cast<std::int32_t>(r);
}

}  // namespace simroom
