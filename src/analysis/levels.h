#pragma once

#include <cstdint>
#include <span>

#include "audio/sample_word.h"

// Amplitude ratio to decibels.
double RtodB(double ratio);

// Where a sync burst came back: the index of its first largest sample above
// 0, and that sample's value; index and peak are 0 when no sample is above 0.
struct SyncPeak {
  std::int32_t index = 0;
  double peak = 0.0;
};

SyncPeak FindPeak(std::span<const SampleWord> samples);
