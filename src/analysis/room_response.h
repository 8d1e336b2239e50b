#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/analysis_failure.h"
#include "audio/sample_word.h"
#include "base/expected.h"

// The frequencies a sweep covered. The tone never rises above half the
// sample rate, so the useful top is the lower of endHz and rate / 2.
struct SweepRange {
  double startHz = 0.0;
  double endHz = 0.0;
  double rate = 0.0;  // samples per second

  [[nodiscard]] double TopHz() const { return std::min(endHz, rate / 2.0); }
};

// What the room did to the sweep, as a transfer function and as an impulse
// response.
struct RoomResponse {
  double rate = 0.0;
  // Bin k of transfer lies at k * rate / transformSize.
  std::size_t transformSize = 0;
  // H = Y / X for bins 0 .. transformSize / 2 inside the swept range; below
  // and above it rolled off smoothly to 0 within half an octave, so that h
  // rings only briefly before time 0 (where the sweep put little energy the
  // quotient would be noise).
  std::vector<std::complex<double>> transfer;
  // h, at least one second of it (or as much as the transform holds): index
  // 0 is the loop-back's zero, so the direct sound sits at the time of
  // flight. Band-limited to the swept range.
  std::vector<float> impulse;
  // h before time 0, when asked for: beforeZero[i] is h at time
  // i - beforeZero.size(), so its last sample is h at -1. The circular
  // response holds it at its far end, where a log sweep's harmonics lie
  // (L ln k before the linear response). Empty unless asked for.
  std::vector<float> beforeZero;

  [[nodiscard]] double BinHz() const { return rate / static_cast<double>(transformSize); }
};

// What a deconvolution is asked for beside the two signals.
struct DeconvolutionRequest {
  // recorded[i + lag] answers played[i] when the microphone sits at the
  // loudspeaker (the loop-back's lag).
  std::int64_t lag = 0;
  // As much of h before time 0, in beforeZero (at most half the transform:
  // further back the circle holds the response's late tail); when it
  // reaches back over the far end's clear second, the impulse's last
  // samples hold the same times before 0. It changes nothing else.
  std::size_t leadSamples = 0;
};

// Deconvolves the recording by the played signal; the recording outside its
// ends counts as silent. The transform is at least a second longer than
// either signal: the reply to the tone, however late within the recording,
// does not wrap around, and whatever the division puts before time 0 wraps
// to the far end, a second clear of the kept impulse response. The failure
// when the buffers cannot be had or the signals are too long for one
// transform. Not thread-safe: FFTW's planner is shared.
Expected<RoomResponse, AnalysisFailure> MeasureRoomResponse(
    std::span<const SampleWord> played, std::span<const SampleWord> recorded,
    const SweepRange& range, const DeconvolutionRequest& request = {});

// The most memory MeasureRoomResponse holds at once for signals of length
// samples, its result included: a check before a run can then say whether
// the run will get it.
std::size_t RoomResponseBytes(std::size_t length, double rate);
