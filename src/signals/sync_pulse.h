#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Fills samples with silence and a one-millisecond 1000 Hz burst starting at
// index pad; returns the index of the burst's first largest sample.
std::int32_t MakePulse(SampleWord* samples, std::uint32_t rate, std::int32_t length,
                       std::int32_t pad);
