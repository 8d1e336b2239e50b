#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Amplitude ratio to decibels.
double RtodB(double ratio);

// The search of FindPeak without the console line: the index of the first
// largest sample above 0 (0 when there is none); peak receives that sample's
// value (0 when there is none).
std::int32_t SearchPeak(const SampleWord* samples, std::int32_t count, double& peak);

// Index of the first largest sample above 0 (0 when there is none); prints
// the sync channel's return level.
std::int32_t FindPeak(const SampleWord* samples, std::int32_t count);
