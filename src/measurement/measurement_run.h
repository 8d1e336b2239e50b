#pragma once

#include <optional>

#include "analysis/session_responses.h"
#include "audio/device_failure.h"
#include "measurement/run_options.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// How a run ended.
struct RunOutcome {
  // Results were shown: the user reads them and confirms. False when the run
  // was refused before anything was played.
  bool measured = false;
  // The run passed its checks and was kept.
  bool kept = false;
  // Set when the sound device could not be set up; the program ends with it.
  std::optional<DeviceFailure> failure;
};

// One measurement of the room: set-up -> capture -> analysis -> presentation
// on io -> keeping the results (the results file; with a save folder, the
// run's files, the session's average and the correction).
RunOutcome RunMeasurement(const MeasurementSetup& setup, const RunOptions& options,
                          SessionResponses& session, const RunOutput& io);
