#include "report/run_texts.h"

#include <cerrno>
#include <cstring>

namespace {

// What to do after a failed save, by the system's reason.
const char* NextStep(int error) {
  switch (error) {
    case ENOENT:
      return "Make the folder that holds it first, or give --save a folder that exists";
    case ENOSPC:
    case EDQUOT:
      return "Free some space, or give --save a folder on another disk";
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

void ReportSaved(const RunOutput& io, bool ok, const std::string& message) {
  std::fprintf(io.err, "%s%s\n",
               ok ? "" : "Warning: the run's files were not all saved: ", message.c_str());
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
