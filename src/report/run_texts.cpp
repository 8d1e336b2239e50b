#include "report/run_texts.h"

#include <cerrno>
#include <cstring>

#include "report/run_plots.h"

namespace {

// What to do after a failed save, by the system's reason.
const char* NextStep(int error) {
  switch (error) {
    case ENOENT:
      return "Make the folder that holds it first, or give --save a folder that exists";
    case ENOSPC:
    case EDQUOT:
      return "Free some space, or give --save a folder on another disk";
    case EFBIG:
      return "Raise the limit on the size of files (ulimit -f) or set a shorter sweep with 't'";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Give --save a folder you may write to";
    default:
      return "Give --save another folder";
  }
}

const char* FaultText(RunFault fault) {
  switch (fault) {
    case RunFault::kDeviceFailed:
      return "the sound device failed during the run";
    case RunFault::kNoSyncReturn:
      return "no sync pulse came back, so the bands are not aligned with the sweep";
    case RunFault::kSyncLate:
      return "the sync pulse came back later than the program waits for it, so the bands are not "
             "aligned with the sweep";
    case RunFault::kSweepOnInput2:
      return "input 2 carried the sweep instead of the sync pulse";
    case RunFault::kSlipped:
      return "the recording slipped between the two sync pulses";
    case RunFault::kNoSweepReturn:
      return "no sweep came back on input 1";
    case RunFault::kNoBandLevels:
      return "the band levels could not be computed";
  }
  return "";
}

// "a", "a and b", "a, b and c"
std::string JoinAnd(const std::vector<std::string>& names) {
  std::string joined;
  for (std::size_t i = 0; i < names.size(); ++i) {
    joined += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  }
  return joined;
}

// "Saved run-001.frd, run-001-ir.wav and run-001.svg in out, with
// average.frd and average.svg, the power average of run-001, run-002 over
// 18-16175 Hz. Room correction: 2 filters, pre-gain -1.0 dB, in ..."
std::string SavedLine(const SaveSummary& summary) {
  const std::vector<std::string>& runFiles = summary.saved;
  const std::vector<std::string>& correctionFiles = summary.correctionFiles;
  std::string line = "Saved ";
  line += runFiles.empty() ? "in " + summary.dir.string()
                           : JoinAnd(runFiles) + " in " + summary.dir.string();
  if (summary.averageWritten && summary.session != nullptr) {
    line += ", with " + JoinAnd(summary.averageFiles) + ", the power average of " +
            RunList(*summary.session) + " over " + RangeText(summary.session->average());
  }
  line += ".";
  if (summary.correctionFilters && !correctionFiles.empty()) {
    char text[160];
    std::snprintf(text, sizeof text,
                  " Room correction: %zu %s, pre-gain %.1f dB, largest peak left %+.1f dB at "
                  "%.0f Hz, in ",
                  *summary.correctionFilters,
                  *summary.correctionFilters == 1 ? "filter" : "filters", summary.preGainDb,
                  summary.peakLeftDb, summary.peakLeftHz);
    line += text + JoinAnd(correctionFiles) + ".";
  }
  return line;
}

void PrintClampNote(const RunOutput& io, const EqRangeClamp& clamp) {
  std::fprintf(io.err,
               "Note: --eq-range %g:%g reaches beyond the measured response (%.0f-%.0f Hz); the "
               "filters were designed for %.0f-%.0f Hz.\n",
               clamp.askedLowHz, clamp.askedHighHz, clamp.measuredLowHz, clamp.measuredHighHz,
               clamp.usedLowHz, clamp.usedHighHz);
}

// Which frequencies the average holds when the runs cover different ones,
// or why there is none.
void PrintAverageNote(const RunOutput& io, const SaveSummary& summary) {
  const SessionResponses* session = summary.session;
  if (session == nullptr || session->size() < 2 || !RunRangesDiffer(*session)) {
    return;
  }
  if (session->average().empty()) {
    std::fprintf(io.err,
                 "Warning: the runs saved share no frequencies (%s), so they have no average. "
                 "Measure them from the same start frequency, Q and number of bands.\n",
                 RunRanges(*session).c_str());
  } else if (summary.averageWritten) {
    std::fprintf(io.err,
                 "Note: the runs saved cover different frequencies (%s), so their average holds "
                 "only %s, where every run measured. Measure them from the same start frequency, "
                 "Q and number of bands to average the whole range.\n",
                 RunRanges(*session).c_str(), RangeText(session->average()).c_str());
  }
}

}  // namespace

std::string DescribeFileError(const FileError& error) {
  if (!error.libraryReason.empty()) {
    return "Could not " + std::string(error.step) + " " + error.path.string() + ": " +
           error.libraryReason +
           ". Free some space or choose a folder you may write to with --save, then measure "
           "again.";
  }
  return "Could not " + std::string(error.step) + " " + error.path.string() + ": " +
         std::strerror(error.error) + ". " + NextStep(error.error) + ", then measure again.";
}

void ReportSaving(const RunOutput& io, const SaveSummary& summary) {
  if (summary.clamp) {
    PrintClampNote(io, *summary.clamp);
  }
  if (!summary.saved.empty() || summary.averageWritten || !summary.correctionFiles.empty()) {
    std::fprintf(io.err, "%s\n", SavedLine(summary).c_str());
  }
  if (summary.failure) {
    std::fprintf(io.err, "Warning: %s not saved: %s\n",
                 summary.notSaved.empty() ? "the run's files were"
                                          : (JoinAnd(summary.notSaved) +
                                             (summary.notSaved.size() == 1 ? " was" : " were"))
                                                .c_str(),
                 DescribeFileError(*summary.failure).c_str());
  }
  if (!summary.noCorrection.empty()) {
    std::fprintf(io.err, "Warning: no room correction was designed: %s.\n",
                 summary.noCorrection.c_str());
  }
  PrintAverageNote(io, summary);
  if (!summary.removed.empty()) {
    std::fprintf(io.err,
                 "Removed %s of earlier runs from %s: they no longer match the runs saved.\n",
                 JoinAnd(summary.removed).c_str(), summary.dir.c_str());
  }
}

void WarnResponseNotSaved(const RunOutput& io, const std::filesystem::path& dir) {
  std::fprintf(io.err,
               "Nothing of this run was saved in %s: without its impulse response there is no "
               "response to save, and the run takes no part in the average or the correction.\n",
               dir.c_str());
}

void WarnNotKept(const RunOutput& io, const std::filesystem::path& path, RunFault fault) {
  std::fprintf(io.err, "The results above were not saved to %s: %s.\n", path.c_str(),
               FaultText(fault));
}

void WarnResultsNotSaved(const RunOutput& io, const FileError& error) {
  std::fprintf(io.err,
               "Could not %s %s: %s. The results above were not saved; copy them from the "
               "screen, or fix the problem (or start the program in a writable directory) and "
               "measure again.\n",
               error.step, error.path.c_str(),
               error.error == 0 ? "it is not a regular file" : std::strerror(error.error));
}

void WarnNoMemory(const RunOutput& io, std::size_t bytesNeeded) {
  std::fprintf(io.err,
               "Not enough memory for a sweep of this length (%zu bytes needed); nothing was "
               "played. Set a shorter sweep with 't' and run again.\n",
               bytesNeeded);
}

void WarnUnplayable(const RunOutput& io, Unplayable setting) {
  switch (setting) {
    case Unplayable::kTooManyBands:
    case Unplayable::kSweepLength:
      std::fprintf(io.err,
                   "These settings cannot be measured (at most %i bands, a sweep of 0 to %.0f "
                   "seconds); change them and run again.\n",
                   kMaxBands, kMaxSweepSeconds);
      return;
    case Unplayable::kNegativeQ:
      std::fputs(
          "Cannot run: with a negative Q the bands fall instead of rising, so every sample would "
          "land in the last band. Set a Q above 0 with 'q' and run again.\n",
          io.err);
      return;
    case Unplayable::kStartBelow1Hz:
      std::fputs(
          "Cannot run: the start frequency is below 1 Hz, where no sweep can be measured. Set a "
          "start of at least 1 Hz with 'f' and run again.\n",
          io.err);
      return;
  }
}
