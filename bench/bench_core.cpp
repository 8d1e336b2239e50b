#include <benchmark/benchmark.h>

#include <string>

#include "analysis/run_analysis.h"
#include "report/band_report.h"
#include "signals/run_signals.h"

// The computation of one default measurement around the transfer: 10 s from
// 18 Hz to 16175 Hz in 31 bands, 528000 samples per channel. The recording is
// what was played, a perfect loop-back on both channels. The table is
// formatted but not printed, so the figure is the computation and not the
// terminal.
namespace {

// state.range(0): 0 for the linear sweep, 1 for the exponential one (its
// distortion analysis included).
void BM_DefaultRunComputation(benchmark::State& state) {
  SetupChoices choices;
  choices.sweep = state.range(0) == 0 ? SweepKind::kLinear : SweepKind::kExponential;
  const MeasurementSetup setup = MakeSetup(Settings{}, choices);
  for (auto _ : state) {
    const RunSignals played = MakeRunSignals(setup);
    const Recording recorded{{played.stimulus, played.loopback}, {}};
    const RunResult result = AnalyseRun({setup, played, recorded});
    std::string report = WriteReport(result.Microphone().levels, setup.plan);
    std::string warning = UnresolvedWarning(result.Microphone().levels);
    benchmark::DoNotOptimize(report);
    benchmark::DoNotOptimize(warning);
  }
  state.SetItemsProcessed(state.iterations() * setup.TotalSamples());
}
BENCHMARK(BM_DefaultRunComputation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
