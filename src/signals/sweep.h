#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "audio/sample_word.h"

// The frequency of every tone sample of a sweep: a straight line, so it is
// worked out where it is read instead of being kept, 8 bytes a sample, for
// the whole run.
struct ToneTrack {
  double startHz = 0.0;
  double stepHz = 0.0;  // a linear sweep's, from one tone sample to the next
  // An exponential sweep's natural log of the ratio from one tone sample to
  // the next; 0 for a linear sweep.
  double growthPerSample = 0.0;
  std::size_t samples = 0;

  [[nodiscard]] std::size_t size() const { return samples; }
  [[nodiscard]] double operator[](std::size_t j) const {
    const auto at = static_cast<double>(j);
    return growthPerSample != 0.0 ? startHz * std::exp(growthPerSample * at)
                                  : startHz + stepHz * at;
  }
};

// The track of a sweep from startHz to endHz over toneSamples samples: it
// spans the tone alone, so the last tone sample lies within one step of
// endHz and the top band is measured over its whole width.
ToneTrack SweepTrack(double startHz, double endHz, std::int32_t toneSamples);

// The track of an exponential sweep from startHz that rises by e in
// rateConstantSamples samples.
ToneTrack ExponentialTrack(double startHz, double rateConstantSamples, std::int32_t toneSamples);

// Fills samples (total entries: pad of silence, the tone, pad of silence)
// with a sine rising linearly from startHz to endHz, and freqTrack, unless
// it is null, with the frequency of every tone sample. Where the track lies
// above half the rate the tone is silent.
void MakeSweep(std::uint32_t rate, SampleWord* samples, double* freqTrack, double startHz,
               double endHz, std::int32_t total, double amplitude, std::int32_t pad);
