#pragma once

#include <string>
#include <vector>

#include "measurement/band_plan.h"
#include "measurement/pipeline.h"
#include "measurement/run_options.h"
#include "measurement/settings.h"
#include "report/save_run.h"

// The runs this program has saved since it started: what the average and
// the room correction are made of.
struct SavedSession {
  std::vector<NamedResponse> runs;
};

// What saving one run did: a line for the user naming the files, or what
// went wrong and what to do.
struct SaveOutcome {
  bool ok = true;
  std::string message;
};

// Writes a good run into the save directory (its response, impulse response
// and plot as run-NNN files, the average of the session's runs, and, when
// asked for, room-correction filters designed from that average) and adds
// it to session.
SaveOutcome SaveMeasurement(const RunOptions& options, SavedSession& session,
                            const Settings& settings, const BandPlan& plan, double endHz,
                            const RecordingAnalysis& analysis);
