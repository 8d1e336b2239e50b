#pragma once

#include <cstdio>
#include <optional>

#include "audio/device_failure.h"
#include "base/expected.h"
#include "measurement/run_options.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// Measurements one after another without the menu, for scripts and for
// moving the microphone between positions.
struct BatchRequest {
  int runs = 1;
  // Between runs; none: wait for Enter when in is a terminal, else go on.
  std::optional<double> pauseSeconds;
  std::FILE* in = stdin;
};

// Runs them all, each presented as the menu's r presents it; the session's
// average and correction are kept as each run is. True when every run passed
// its checks, or the device failure that ended the batch.
Expected<bool, DeviceFailure> RunBatch(const BatchRequest& batch, const MeasurementSetup& setup,
                                       const RunOptions& options, const RunOutput& io);
