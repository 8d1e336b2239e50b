#pragma once

// The cumulative spectral decay ("waterfall") of a room's modal region: how
// the spectrum of what is left of the impulse response falls as time goes
// on, so that the bass modes that ring on stand out as ridges.

#include <cstddef>
#include <span>
#include <vector>

#include "setup/run_constants.h"

struct SpectralDecay {
  std::vector<double> hz;  // 48 points an octave, each level the mean over 1/24 octave
  double sliceStepS = 0.0;
  double windowS = 0.0;  // how much of the response each slice looks at
  // slicesDb[k][i]: the level at hz[i] of the response from k * sliceStepS
  // after the start on, in dB re the first slice's highest level.
  std::vector<std::vector<float>> slicesDb;
};

struct SpectralDecayRequest {
  double rate = SAMPLE_RATE;
  double lowHz = 15.0;
  double highHz = 300.0;
  double sliceStepS = 0.02;
  double spanS = 0.4;    // the last slice starts this long after the start
  double windowS = 0.5;  // each slice: this much response, under a falling half-Hann window
};

// The decay of impulse from start on, over [lowHz, highHz]; empty when the
// range is empty or the response is too short for one slice. The window
// shrinks (for every slice alike) when the response ends before the last
// slice's window would. Not thread-safe: FFTW's planner is shared.
SpectralDecay ComputeSpectralDecay(std::span<const float> impulse, std::size_t start,
                                   const SpectralDecayRequest& request);
