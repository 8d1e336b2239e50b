#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "measurement/pipeline.h"
#include "report/band_report.h"

// The computation of one default measurement around the transfer: 10 s from
// 18 Hz to 16175 Hz in 31 bands, 528000 samples per channel. The recording is
// the played buffer itself, a perfect loop-back. The table is formatted but
// not printed, so the figure is the computation and not the terminal.
namespace {

struct DefaultRun {
  Settings settings;
  BandPlan plan;
  double endHz = FindHighFreq(settings.qFactor, settings.bandCount, settings.startHz,
                              plan.low.data(), plan.high.data());
  RunSizes sizes = ComputeSizes(settings.sweepSeconds);
  RunBuffers buffers;

  DefaultRun() { (void)buffers.Allocate(sizes); }
};

void BM_DefaultRunComputation(benchmark::State& state) {
  DefaultRun run;
  for (auto _ : state) {
    const std::int32_t syncOut = PrepareSignals(run.settings, run.endHz, run.sizes, run.buffers);
    std::copy(run.buffers.playBuffer.begin(), run.buffers.playBuffer.end(),
              run.buffers.recordBuffer.begin());
    const RecordingAnalysis analysis =
        AnalyseRecording(run.settings, run.plan, run.endHz, run.sizes, syncOut, run.buffers);
    std::string report = WriteReport(analysis.levels, run.plan);
    std::string warning = UnresolvedWarning(analysis.levels);
    benchmark::DoNotOptimize(report);
    benchmark::DoNotOptimize(warning);
  }
  state.SetItemsProcessed(state.iterations() * run.sizes.totalSamples);
}
BENCHMARK(BM_DefaultRunComputation)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
