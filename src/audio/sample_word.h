#pragma once

#include <cstdint>

// One audio sample on the 24-bit scale, held in a signed 32-bit word.
using SampleWord = std::int32_t;

// Full scale of a SampleWord: 2^23.
inline constexpr double kFullScale = 8388608.0;
