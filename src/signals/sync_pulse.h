#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// The burst is one cycle of this tone: a millisecond.
inline constexpr std::uint32_t kBurstHz = 1000;

// Fills samples with silence and a one-millisecond 1000 Hz burst starting at
// index pad; returns the index of the burst's first largest sample.
std::int32_t MakePulse(SampleWord* samples, std::uint32_t rate, std::int32_t length,
                       std::int32_t pad);
