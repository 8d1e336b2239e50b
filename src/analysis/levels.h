#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Amplitude ratio to decibels.
double RtodB(double ratio);

// Index of the first largest sample above 0 (0 when there is none); prints
// the sync channel's return level.
std::int32_t FindPeak(const SampleWord* samples, std::int32_t count);
