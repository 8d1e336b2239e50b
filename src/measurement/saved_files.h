#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "analysis/session_responses.h"
#include "files/file_error.h"
#include "report/run_plots.h"

// The files a run leaves in the save folder.

struct SavedRun {
  int number = 0;
  std::string stem;  // "run-007"
};

// Writes the run's response, impulse response and plot into dir as
// run-NNN.frd, run-NNN-ir.wav and run-NNN.svg under the next free number
// after the highest there, never over an existing file. Each file is whole
// or absent; files already complete are kept when a later one fails.
Expected<SavedRun, FileError> SaveRunFiles(const std::filesystem::path& dir, const RunRecord& run);

// Writes the session's average to average.frd and average.svg in dir,
// replacing those two files; facts are the last run's, for the units.
// Nothing below two runs.
FileResult SaveAverageFiles(const std::filesystem::path& dir, const SessionResponses& session,
                            std::span<const PlotCurve> extraCurves, const RunFacts& facts);
