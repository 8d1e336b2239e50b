#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/sample_word.h"
#include "setup/measurement_setup.h"
#include "signals/sweep.h"

// The signals one run plays, each the run's whole length: on the stimulus
// output the sweep between its pads of silence; on the loop-back output the
// sync burst before the sweep and the same burst again after it, whose
// return shows whether the recording held together.
struct RunSignals {
  ToneTrack track;  // the frequency of every tone sample
  std::vector<SampleWord> stimulus;
  std::vector<SampleWord> loopback;
  std::int32_t syncOut = 0;          // the sync burst's crest
  std::int32_t burstStart = 0;       // where the sync burst starts
  std::int32_t burstLength = 0;      // one cycle of the burst's tone
  std::int32_t checkBurstStart = 0;  // where the check burst starts
  // An exponential sweep's rate constant L in seconds (its tone rises by e
  // in L); 0 for a linear sweep.
  double sweepRateConstant = 0.0;

  // The burst as it was sent, kept apart from the loop-back output.
  std::vector<SampleWord> sentBurst;

  [[nodiscard]] std::span<const SampleWord> SentBurst() const { return sentBurst; }
  // Once played, the loop-back output is read no more (the analysis reads
  // the burst alone), and a long sweep's run is the lighter for letting it go.
  void ReleaseLoopback() { std::vector<SampleWord>().swap(loopback); }
};

// Bytes one output of the run's signals takes for setup; MakeRunSignals
// makes two.
std::size_t OutputBytes(const MeasurementSetup& setup);

// Makes the run's signals; std::bad_alloc when memory runs out.
RunSignals MakeRunSignals(const MeasurementSetup& setup);
