#pragma once

// The room's random numbers: splitmix64's finaliser, small, fast and the
// same on every machine, so that a seed always gives the same noise.

#include <cstdint>

namespace simroom {

inline std::uint64_t Mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace simroom
