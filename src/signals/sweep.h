#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/sample_word.h"

// The frequency of every tone sample of a sweep: a straight line, so it is
// worked out where it is read instead of being kept, 8 bytes a sample, for
// the whole run.
struct ToneTrack {
  double startHz = 0.0;
  double stepHz = 0.0;  // from one tone sample to the next
  std::size_t samples = 0;

  [[nodiscard]] std::size_t size() const { return samples; }
  [[nodiscard]] double operator[](std::size_t j) const {
    return startHz + stepHz * static_cast<double>(j);
  }
};

// The track of a sweep from startHz to endHz over toneSamples samples: it
// spans the tone alone, so the last tone sample lies within one step of
// endHz and the top band is measured over its whole width.
ToneTrack SweepTrack(double startHz, double endHz, std::int32_t toneSamples);

// Fills samples (total entries: pad of silence, the tone, pad of silence)
// with a sine rising linearly from startHz to endHz, and freqTrack, unless
// it is null, with the frequency of every tone sample. Where the track lies
// above half the rate the tone is silent.
void MakeSweep(std::uint32_t rate, SampleWord* samples, double* freqTrack, double startHz,
               double endHz, std::int32_t total, double amplitude, std::int32_t pad);
