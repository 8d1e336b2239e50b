#include "measurement/batch_runs.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#include "measurement/measurement_run.h"

namespace {

// Gives the user time to move the microphone before run `next`.
void PauseBefore(int next, const BatchRequest& batch, const RunOutput& io) {
  if (batch.pauseSeconds) {
    std::fprintf(io.err, "Next run (%d of %d) in %g s: move the microphone.\n", next, batch.runs,
                 *batch.pauseSeconds);
    std::this_thread::sleep_for(std::chrono::duration<double>(*batch.pauseSeconds));
    return;
  }
  if (isatty(fileno(batch.in)) == 0) {
    return;
  }
  std::fprintf(io.err, "Move the microphone, then press Enter for run %d of %d.\n", next,
               batch.runs);
  int c = 0;
  while ((c = std::fgetc(batch.in)) != EOF && c != '\n') {
  }
}

}  // namespace

Expected<bool, DeviceFailure> RunBatch(const BatchRequest& batch, const MeasurementSetup& setup,
                                       const RunOptions& options, const RunOutput& io) {
  SessionResponses session;
  bool allGood = true;
  for (int run = 1; run <= batch.runs; ++run) {
    if (run > 1) {
      PauseBefore(run, batch, io);
    }
    RunOutcome outcome = RunMeasurement(setup, options, session, io);
    if (outcome.failure) {
      return Unexpected{std::move(*outcome.failure)};
    }
    allGood = allGood && outcome.kept;
  }
  std::fflush(io.out);
  return allGood;
}
