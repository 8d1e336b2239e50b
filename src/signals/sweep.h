#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Fills samples (total entries: pad of silence, the tone, pad of silence)
// with a sine rising linearly from startHz to endHz, and freqTrack with the
// frequency of every tone sample. Where the track lies above half the rate
// the tone is silent.
void MakeSweep(std::uint32_t rate, SampleWord* samples, double* freqTrack, double startHz,
               double endHz, std::int32_t total, double amplitude, std::int32_t pad);
