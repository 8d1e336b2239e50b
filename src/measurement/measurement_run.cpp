#include "measurement/measurement_run.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "analysis/run_analysis.h"
#include "audio/capture.h"
#include "measurement/run_saving.h"
#include "report/progress_bar.h"
#include "report/run_presentation.h"
#include "report/run_texts.h"
#include "signals/run_signals.h"

namespace {

// A figure in kB from a /proc file's "Name: 1234 kB" line, in bytes; 0
// when the file has no such line.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the file, then the line's name
std::size_t ProcFigure(const char* file, const char* name) {
  std::FILE* info = std::fopen(file, "re");
  if (info == nullptr) {
    return 0;
  }
  const std::size_t nameLength = std::strlen(name);
  unsigned long long kib = 0;
  char line[128];
  while (std::fgets(line, sizeof line, info) != nullptr) {
    if (std::strncmp(line, name, nameLength) == 0 &&
        std::sscanf(line + nameLength, ": %llu kB", &kib) == 1) {
      break;
    }
  }
  (void)std::fclose(info);
  return static_cast<std::size_t>(kib) * 1024U;
}

// What a limit on the process (ulimit -v or -d) leaves of it, given how much
// it uses already; SIZE_MAX without a limit.
std::size_t LimitLeft(int resource, const char* usedFigure) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return SIZE_MAX;
  }
  const std::size_t used = ProcFigure("/proc/self/status", usedFigure);
  return limit.rlim_cur > used ? static_cast<std::size_t>(limit.rlim_cur) - used : 0;
}

// The memory the run can still have, in bytes; 0 when nothing says.
// Allocating far beyond what the system has available would wake the
// out-of-memory killer instead of failing.
std::size_t AvailableMemory() {
  std::size_t available = ProcFigure("/proc/meminfo", "MemAvailable");
  for (const std::size_t left :
       {LimitLeft(RLIMIT_AS, "VmSize"), LimitLeft(RLIMIT_DATA, "VmData")}) {
    if (left != SIZE_MAX && (available == 0 || left < available)) {
      available = std::max<std::size_t>(left, 1);
    }
  }
  return available;
}

// The most the run holds at once from the moment its signals are made: both
// outputs and the transfer's buffers while it plays, then the stimulus and
// the recording with what the analysis takes beside them.
std::size_t RunPeakBytes(const MeasurementSetup& setup) {
  const std::int32_t frames = setup.TotalSamples();
  return OutputBytes(setup) + std::max(OutputBytes(setup) + CaptureBytes(kChannels, frames),
                                       RecordingBytes(kChannels, frames) + AnalysisBytes(setup));
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
  const std::size_t needed = RunPeakBytes(setup);
  const std::size_t available = AvailableMemory();
  RunSignals signals;
  std::optional<Expected<Recording, DeviceFailure>> recording;
  try {
    if (available != 0 && needed > available) {
      throw std::bad_alloc();
    }
    signals = MakeRunSignals(setup);
    recording.emplace(Capture(setup, signals, io));
    signals.ReleaseLoopback();
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
