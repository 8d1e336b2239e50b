#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/session_responses.h"
#include "files/file_error.h"
#include "report/run_json.h"
#include "report/run_plots.h"

// The files a run leaves in the save folder.

// What one step of saving wrote, by name in the order written, and the
// failure that stopped it.
struct WrittenFiles {
  std::vector<std::string> names;
  std::optional<FileError> failure;
};

struct SavedRun {
  int number = 0;
  std::string stem;  // "run-007"; empty when no free number was found
  WrittenFiles files;
};

// The names of a run's files, in the order SaveRunFiles writes them.
std::vector<std::string> RunFileNames(const std::string& stem);

// Writes the run's response, impulse response and plot into dir as
// run-NNN.frd, run-NNN-ir.wav and run-NNN.svg under the next free number
// after the highest there, never over an existing file. Each file is whole
// or absent; files already complete are kept when a later one fails.
SavedRun SaveRunFiles(const std::filesystem::path& dir, const RunRecord& run);

// The names of the average's files, in the order SaveAverageFiles writes them.
std::vector<std::string> AverageFileNames(const SessionResponses& session);

// What the average's files say beside the responses: the last run's facts
// (for the units) and the correction designed from the average, if any.
struct AverageExtras {
  const RunFacts& facts;
  std::span<const JsonFilter> filters;
  double preGainDb = 0.0;
};

// Writes the session's average to average.frd, average.svg,
// average-acoustics.csv (with two runs' decays or more) and average.json in
// dir, replacing those files. Nothing below two runs, nor when the runs share
// no frequencies to average.
WrittenFiles SaveAverageFiles(const std::filesystem::path& dir, const SessionResponses& session,
                              std::span<const PlotCurve> extraCurves, const AverageExtras& extras);
