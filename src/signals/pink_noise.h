#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/sample_word.h"
#include "setup/run_constants.h"

// Pink noise for setting levels: equal power in every octave between lowHz
// and highHz, nothing outside, so it spends no amplifier power on subsonic
// rumble. Made in the frequency domain (a magnitude of 1/sqrt(f) with
// random phases, transformed back), so it is exactly pink in every octave
// and loops without a seam.
struct PinkNoiseSpec {
  std::size_t samples = 3 * SAMPLE_RATE;
  double rate = SAMPLE_RATE;
  double lowHz = 20.0;
  double highHz = 20000.0;
  // The largest sample's magnitude as a fraction of full scale. The level
  // check plays the noise at the sweep's peak, never above it: at the sweep's
  // RMS its peaks, some 13 dB higher, would clip.
  double peak = 0.5;
  std::uint64_t seed = 1;
};

// The same noise for the same request, on every machine (the phases come from
// std::mt19937_64, whose sequence the standard fixes). Not thread-safe:
// FFTW's planner is shared.
std::vector<SampleWord> MakePinkNoise(const PinkNoiseSpec& wanted);
