#include "measurement/measurement_run.h"

#include <cstdio>
#include <new>

#include "analysis/run_analysis.h"
#include "audio/capture.h"
#include "measurement/run_saving.h"
#include "report/progress_bar.h"
#include "report/run_presentation.h"
#include "report/run_texts.h"
#include "signals/run_signals.h"

namespace {

// The memory the system says it can still give, in bytes; 0 when it does
// not say. Allocating far beyond it would wake the out-of-memory killer
// instead of failing.
std::size_t AvailableMemory() {
  std::FILE* info = std::fopen("/proc/meminfo", "re");
  if (info == nullptr) {
    return 0;
  }
  unsigned long long kib = 0;
  char line[128];
  while (std::fgets(line, sizeof line, info) != nullptr) {
    if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
      break;
    }
  }
  (void)std::fclose(info);
  return static_cast<std::size_t>(kib) * 1024U;
}

// What the run's signals and the capture take before anything is played.
std::size_t BytesBeforePlaying(const MeasurementSetup& setup) {
  return RunSignalsBytes(setup) + CaptureBytes(kChannels, setup.TotalSamples());
}

// Plays the run's signals and records what comes back, with the progress
// bar on err while it goes on.
Expected<Recording, DeviceFailure> Capture(const MeasurementSetup& setup, const RunSignals& signals,
                                           const RunOutput& io) {
  ProgressBar bar(io.err);
  const std::span<const SampleWord> outputs[kChannels] = {signals.stimulus, signals.loopback};
  return PlayAndRecord(
      {.deviceName = setup.deviceName.c_str(),
       .channels = kChannels,
       .rate = setup.rate,
       .period = PERIOD_FRAMES,
       .buffer = BUFFER_FRAMES},
      outputs,
      {.started = [&io](bool periodAsAsked) { PrintStarted(io, periodAsAsked); },
       .progress = [&bar](std::int64_t done, std::int64_t total) { bar.Update(done, total); }});
}

}  // namespace

RunOutcome RunMeasurement(const MeasurementSetup& setup, const RunOptions& options,
                          SessionResponses& session, const RunOutput& io) {
  if (const auto unplayable = CheckPlayable(setup)) {
    WarnUnplayable(io, *unplayable);
    return {};
  }
  const std::size_t needed = BytesBeforePlaying(setup);
  const std::size_t available = AvailableMemory();
  RunSignals signals;
  std::optional<Expected<Recording, DeviceFailure>> recording;
  try {
    if (available != 0 && needed > available) {
      throw std::bad_alloc();
    }
    signals = MakeRunSignals(setup);
    recording.emplace(Capture(setup, signals, io));
  } catch (const std::bad_alloc&) {
    WarnNoMemory(io, needed);
    return {};
  }
  if (!*recording) {
    return {.measured = false, .kept = false, .failure = recording->error()};
  }
  const RunResult result = AnalyseRun({setup, signals, **recording});
  PresentRun(io, setup, result);
  const bool kept = KeepRun(io, setup, result, options, session);
  return {.measured = true, .kept = kept, .failure = std::nullopt};
}
