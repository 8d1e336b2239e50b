#include "measurement/measurement_run.h"

#include "audio/play_rec.h"
#include "console/settings_limits.h"
#include "measurement/pipeline.h"
#include "report/band_report.h"
#include "report/progress_bar.h"
#include "report/results_file.h"

namespace {

constexpr const char* kResultsFile = "sweep_out.txt";

}  // namespace

RunOutcome RunMeasurement(const Settings& settings, const BandPlan& plan, double endHz,
                          const RunOutput& io) {
  // The console refuses what a run cannot measure; this keeps a run safe
  // when it is handed such settings all the same.
  if (settings.bandCount > kMaxBands || CheckSweepSeconds(settings.sweepSeconds) != nullptr) {
    WarnUnmeasurable(io, kMaxBands, kMaxSweepSeconds);
    return {};
  }
  const RunSizes sizes = ComputeSizes(settings.sweepSeconds);
  RunBuffers buffers;
  if (!buffers.Allocate(sizes)) {
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

  const RecordingAnalysis analysis = AnalyseRecording(settings, plan, sizes, syncOut, buffers);
  PrintSync(io, analysis.syncIn, syncOut);
  if (!analysis.syncReturned) {
    WarnNoSync(io);
  }
  PrintAnalyzing(io);
  const std::string report = WriteReport(analysis.levels, plan);
  PrintResults(io, report, analysis.levels);
  if (analysis.clippedSamples > 0) {
    WarnClipped(io, analysis.clippedSamples);
  }
  if (const auto error = AppendResults(kResultsFile, report)) {
    WarnResultsNotSaved(io, kResultsFile, *error);
  }
  return {.measured = true, .failure = std::nullopt};
}
