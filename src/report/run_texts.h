#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "analysis/run_result.h"
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
// Nothing of a run whose impulse response could not be computed went into
// the save folder dir.
void WarnResponseNotSaved(const RunOutput& io, const std::filesystem::path& dir);
// What the save folder received, or why it did not.
void ReportSaved(const RunOutput& io, bool ok, const std::string& message);
