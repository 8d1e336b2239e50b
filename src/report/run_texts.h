#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/run_result.h"
#include "analysis/session_responses.h"
#include "files/file_error.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// What a run says before it plays and after it has been presented: why it
// cannot start, and what became of its results.

// A file that could not be made or written, worded for the user with what
// to do next.
std::string DescribeFileError(const FileError& error);

void WarnUnplayable(const RunOutput& io, Unplayable setting);
void WarnNoMemory(const RunOutput& io, std::size_t bytesNeeded);
// The report was not appended to the results file at path, and why.
void WarnNotKept(const RunOutput& io, const std::filesystem::path& path, RunFault fault);
void WarnResultsNotSaved(const RunOutput& io, const FileError& error);
// The range --eq-range asked for, where it reached beyond the measured
// response, and the range the filters were designed for instead.
struct EqRangeClamp {
  double askedLowHz = 0.0;
  double askedHighHz = 0.0;
  double measuredLowHz = 0.0;
  double measuredHighHz = 0.0;
  double usedLowHz = 0.0;
  double usedHighHz = 0.0;
};

// What one run's saving did in the save folder, as facts for its lines.
struct SaveSummary {
  std::filesystem::path dir;
  std::vector<std::string> saved;            // the run's files written, in order
  std::vector<std::string> correctionFiles;  // the correction's files written
  std::vector<std::string> notSaved;         // files that were to be written but were not
  std::optional<FileError> failure;          // the first failure, which stopped them
  // Averaged: the runs the written average holds. Without an average: the
  // runs that share no frequencies, when that is why.
  const SessionResponses* session = nullptr;
  std::vector<std::string> averageFiles;  // the average's files written, in order
  bool averageWritten = false;
  // The correction: its filters when written; else why none was designed,
  // with the earlier correction files taken away.
  std::optional<std::size_t> correctionFilters;
  double preGainDb = 0.0;
  double peakLeftDb = 0.0;  // the largest rise left above the target after correction
  double peakLeftHz = 0.0;
  std::optional<EqRangeClamp> clamp;
  std::string noCorrection;
  std::vector<std::string> removed;
};

// The lines that say what the save folder received and what it did not, and
// what to do next: "Saved ..." when anything was written, a warning naming
// every file that was not, notes about the correction's range and the
// average's runs.
void ReportSaving(const RunOutput& io, const SaveSummary& summary);

// Nothing of a run whose impulse response could not be computed went into
// the save folder dir.
void WarnResponseNotSaved(const RunOutput& io, const std::filesystem::path& dir);
