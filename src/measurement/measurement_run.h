#pragma once

#include <optional>

#include "audio/device_failure.h"
#include "measurement/band_plan.h"
#include "measurement/run_options.h"
#include "measurement/run_saving.h"
#include "measurement/settings.h"
#include "report/run_texts.h"

// How a run ended.
struct RunOutcome {
  // Results were shown: the user reads them and confirms. False when the run
  // was refused before anything was played.
  bool measured = false;
  // Set when the sound device could not be set up; the program ends with it.
  std::optional<DeviceFailure> failure;
};

// One measurement of the room with the current settings: plays and records,
// prints the results on io.out and its warnings on io.err, and appends the
// report to the results file; with a save directory, also its files there.
RunOutcome RunMeasurement(const Settings& settings, const BandPlan& plan, double endHz,
                          const RunOptions& options, SavedSession& session, const RunOutput& io);
