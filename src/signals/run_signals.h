#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/sample_word.h"
#include "setup/measurement_setup.h"

// The signals one run plays, each the run's whole length: on the stimulus
// output the sweep between its pads of silence; on the loop-back output the
// sync burst before the sweep and the same burst again after it, whose
// return shows whether the recording held together.
struct RunSignals {
  std::vector<double> freqTrack;  // the frequency of every tone sample
  std::vector<SampleWord> stimulus;
  std::vector<SampleWord> loopback;
  std::int32_t syncOut = 0;          // the sync burst's crest
  std::int32_t burstStart = 0;       // where the sync burst starts
  std::int32_t burstLength = 0;      // one cycle of the burst's tone
  std::int32_t checkBurstStart = 0;  // where the check burst starts
  // An exponential sweep's rate constant L in seconds (its tone rises by e
  // in L); 0 for a linear sweep.
  double sweepRateConstant = 0.0;

  // The burst as it was sent.
  [[nodiscard]] std::span<const SampleWord> SentBurst() const {
    return std::span<const SampleWord>(loopback).subspan(static_cast<std::size_t>(burstStart),
                                                         static_cast<std::size_t>(burstLength));
  }
};

// Bytes MakeRunSignals takes for setup.
std::size_t RunSignalsBytes(const MeasurementSetup& setup);

// Makes the run's signals; std::bad_alloc when memory runs out.
RunSignals MakeRunSignals(const MeasurementSetup& setup);
