#pragma once

#include "analysis/run_result.h"
#include "audio/capture.h"
#include "setup/measurement_setup.h"
#include "signals/run_signals.h"

// What a run's analysis reads: how it was set up, what it played and what
// came back.
struct RunEvidence {
  const MeasurementSetup& setup;
  const RunSignals& played;
  const Recording& recorded;
};

// Runs every analysis pass over the evidence, in order. Pure: prints nothing;
// a pass that cannot get the memory it needs says so in the result instead
// of ending the run.
RunResult AnalyseRun(const RunEvidence& evidence);

// The most memory AnalyseRun takes at once for a run of setup, beside its
// evidence: the impulse response's transforms, or the bands' microphone
// gains beside the impulse response.
std::size_t AnalysisBytes(const MeasurementSetup& setup);
