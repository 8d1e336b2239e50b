#include "measurement/measurement_run.h"

#include <cstdio>
#include <cstring>

#include "audio/play_rec.h"
#include "console/settings_limits.h"
#include "measurement/pipeline.h"
#include "report/band_report.h"
#include "report/progress_bar.h"
#include "report/results_file.h"

namespace {

constexpr const char* kResultsFile = "sweep_out.txt";

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

// Settings the console accepts and shows but that no sweep can measure.
std::optional<UnplayableSetting> Unplayable(const Settings& settings) {
  if (settings.qFactor < 0.0) {
    return UnplayableSetting::kNegativeQ;
  }
  if (!(settings.startHz >= 1.0)) {
    return UnplayableSetting::kStartBelow1Hz;
  }
  return std::nullopt;
}

// Why a run's report must not go into the results file, or nullptr.
const char* ReasonNotToSave(const PlayRecResult& played, const RecordingAnalysis& analysis) {
  if (played.stats.fatalError != 0) {
    return "the sound device failed during the run";
  }
  switch (analysis.syncReturn) {
    case SyncReturn::kMissing:
      return "no sync pulse came back, so the bands are not aligned with the sweep";
    case SyncReturn::kSweepOnInput2:
      return "input 2 carried the sweep instead of the sync pulse";
    case SyncReturn::kClear:
      break;
  }
  if (analysis.slip.value_or(1) != 0) {
    return "the recording slipped between the two sync pulses";
  }
  return nullptr;
}

}  // namespace

RunOutcome RunMeasurement(const Settings& settings, const BandPlan& plan, double endHz,
                          const RunOptions& options, SavedSession& session, const RunOutput& io) {
  // The console refuses what a run cannot measure; this keeps a run safe
  // when it is handed such settings all the same.
  if (settings.bandCount > kMaxBands || CheckSweepSeconds(settings.sweepSeconds) != nullptr) {
    WarnUnmeasurable(io, kMaxBands, kMaxSweepSeconds);
    return {};
  }
  if (const auto setting = Unplayable(settings)) {
    WarnUnplayable(io, *setting);
    return {};
  }
  const RunSizes sizes = ComputeSizes(settings.sweepSeconds);
  const std::size_t available = AvailableMemory();
  RunBuffers buffers;
  if ((available != 0 && RunBuffers::BytesFor(sizes) > available) || !buffers.Allocate(sizes)) {
    WarnNoMemory(io, RunBuffers::BytesFor(sizes));
    return {};
  }
  const std::int32_t syncOut = PrepareSignals(settings, endHz, sizes, buffers);

  PlayRecResult played;
  {
    ProgressBar bar(io.err);
    played = PLAY_REC(
        {.deviceName = settings.deviceName.data(),
         .channels = kChannels,
         .rate = SAMPLE_RATE,
         .period = PERIOD_FRAMES,
         .buffer = BUFFER_FRAMES},
        {.play = buffers.playBuffer,
         .record = buffers.recordBuffer,
         .sampleBytes = kSampleBytes,
         .planeBytes = sizes.planeBytes,
         .frameCount = sizes.totalSamples},
        {.started = [&io](bool periodAsAsked) { PrintStarted(io, periodAsAsked); },
         .progress = [&bar](std::int64_t done, std::int64_t total) { bar.Update(done, total); }});
  }
  if (played.failure) {
    return {.measured = false, .failure = played.failure};
  }
  WarnTransfer(io, played.stats, played.period, SAMPLE_RATE);
  WarnCloseProblem(io, played.closeProblem);

  const RecordingAnalysis analysis =
      AnalyseRecording(settings, plan, endHz, sizes, syncOut, buffers,
                       options.micCalibration ? &*options.micCalibration : nullptr);
  PrintSync(io, analysis.syncIn, syncOut);
  // One cause, one message: a device that failed explains a missing pulse.
  if (played.stats.fatalError == 0) {
    WarnSync(io, analysis.syncReturn);
    if (analysis.syncReturn == SyncReturn::kClear) {
      WarnSlip(io, analysis.slip);
    }
  }
  if (!analysis.impulse.empty() && played.stats.fatalError == 0 &&
      analysis.syncReturn == SyncReturn::kClear) {
    ReportFlight(io, analysis.timeOfFlight);
  }
  PrintAnalyzing(io);
  const std::string report = WriteReport(analysis.levels, plan);
  PrintResults(io, report, analysis.levels);
  if (analysis.clippedSamples > 0) {
    WarnClipped(io, analysis.clippedSamples);
  }
  if (sizes.sweepSamples == 0) {
    WarnNothingSwept(io);
  }
  if (const char* reason = ReasonNotToSave(played, analysis)) {
    WarnNotSaved(io, kResultsFile, reason);
    return {.measured = true, .failure = std::nullopt};
  }
  if (const auto error = AppendResults(kResultsFile, report)) {
    WarnResultsNotSaved(io, kResultsFile, *error);
  }
  if (!options.saveDir.empty() && sizes.sweepSamples > 0) {
    const SaveOutcome saved = SaveMeasurement(options, session, settings, plan, endHz, analysis);
    ReportSaved(io, saved.ok, saved.message);
  }
  return {.measured = true, .failure = std::nullopt};
}
