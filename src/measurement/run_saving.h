#pragma once

#include "analysis/run_result.h"
#include "analysis/session_responses.h"
#include "measurement/run_options.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// Keeps a good run: appends its band table to the results file and, with a
// save folder, writes its files, the session's average and, when asked for,
// room-correction filters designed from that average, and adds it to
// session. Says on io what it wrote, or why not. A run with a fault is not
// kept, and io says why; false then.
bool KeepRun(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result,
             const RunOptions& options, SessionResponses& session);
