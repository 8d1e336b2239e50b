#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "analysis/sync_check.h"
#include "audio/duplex_transfer.h"
#include "audio/play_rec.h"
#include "report/results_file.h"

// Everything a measurement run says, in one place: the dialogue's lines on
// out, the warnings on err. Each warning says what happened and what to do.
struct RunOutput {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

void PrintStarted(const RunOutput& io, bool periodAsAsked);
void PrintSync(const RunOutput& io, const SyncPeak& returned, std::int32_t syncOut);
void PrintAnalyzing(const RunOutput& io);
// The report, the bands that received no samples, the sweep's return level,
// and the warning about unresolved bands.
void PrintResults(const RunOutput& io, const std::string& report, const BandLevels& levels);

// Nothing for a clear return; else what input 2 carried and what to do.
void WarnSync(const RunOutput& io, SyncReturn returned);
// Nothing when the check burst came back at the sync burst's lag; else the
// slip, or that the check burst was lost.
void WarnSlip(const RunOutput& io, const std::optional<std::int64_t>& slip);
// How far the microphone is from the loudspeaker, or that the impulse
// response showed no clear direct sound.
void ReportFlight(const RunOutput& io, const std::optional<std::int32_t>& timeOfFlight);
// What the save directory received, or why it did not.
void ReportSaved(const RunOutput& io, bool ok, const std::string& message);
// A sweep of no length measures nothing.
void WarnNothingSwept(const RunOutput& io);
// The report was not appended to the results file, and why.
void WarnNotSaved(const RunOutput& io, const char* path, const char* reason);
void WarnClipped(const RunOutput& io, std::int64_t clippedSamples);
void WarnTransfer(const RunOutput& io, const TransferStats& stats, std::uint64_t period,
                  unsigned rate);
void WarnCloseProblem(const RunOutput& io, const CloseProblem& problem);
void WarnResultsNotSaved(const RunOutput& io, const char* path, const ResultsFileError& error);
void WarnNoMemory(const RunOutput& io, std::size_t bytesNeeded);
void WarnUnmeasurable(const RunOutput& io, std::int32_t maxBands, double maxSeconds);

// A setting the menu accepts but no sweep can measure; the run names it.
enum class UnplayableSetting { kNegativeQ, kStartBelow1Hz };
void WarnUnplayable(const RunOutput& io, UnplayableSetting setting);
