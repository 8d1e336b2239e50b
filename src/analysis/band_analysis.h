#pragma once

#include <cstdint>
#include <string>

#include "audio/sample_word.h"

// Files every recorded tone sample under its sweep frequency, levels each
// band against the loudest, writes the results report into report and
// prints it with the missing-band lines and the sweep's return level.
void Analyze(std::int32_t sampleCount, std::int32_t bandCount, const double* freqTrack,
             const SampleWord* recorded, std::int32_t syncOffset, const double* low,
             const double* high, std::string& report, std::int32_t pad);
