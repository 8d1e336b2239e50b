#pragma once

#include <span>
#include <string>

#include "analysis/run_result.h"
#include "analysis/session_responses.h"
#include "report/run_facts.h"
#include "setup/measurement_setup.h"

// The results as JSON, for scripts: everything the run printed and saved,
// as data. docs/run.schema.json and docs/average.schema.json describe the
// two documents.

// A saved run: run-NNN.json.
struct RunJsonInput {
  const MeasurementSetup& setup;
  const RunResult& result;
  const RunFacts& facts;
  std::span<const std::string> files;  // the names of the run's files, this one included
};
std::string RunJson(const RunJsonInput& run);

// A filter of the correction, as the JSON lists it.
struct JsonFilter {
  double hz = 0.0;
  double gainDb = 0.0;
  double q = 0.0;
};

// The session's average: average.json.
struct AverageJsonInput {
  const SessionResponses& session;
  const RunFacts& facts;  // the last run's, for the units
  std::span<const std::string> files;
  // The correction designed from the average, when one was.
  std::span<const JsonFilter> filters;
  double preGainDb = 0.0;
};
std::string AverageJson(const AverageJsonInput& average);
