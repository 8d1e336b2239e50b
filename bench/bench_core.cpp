#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "audio/sample_packing.h"
#include "console/band_plan.h"
#include "signals/sweep.h"
#include "signals/sync_pulse.h"

// The computation of one default measurement around the transfer: 10 s from
// 18 Hz to 16175 Hz in 31 bands, 528000 samples per channel. The recording is
// the played buffer itself, a perfect loop-back. The analysis runs without
// its console output (the table is still formatted into the report), so the
// figure is the computation and not the terminal.
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kSyncLen = 40384;
constexpr std::int32_t kTotal = 480000 + 2 * kPad;
constexpr std::int32_t kBands = 31;
constexpr double kStart = 18.0;

struct Run {
  BandPlan plan;
  std::vector<SampleWord> pulseWords = std::vector<SampleWord>(kSyncLen);
  std::vector<SampleWord> syncWords = std::vector<SampleWord>(kSyncLen);
  std::vector<double> freqTrack = std::vector<double>(kTotal);
  std::vector<SampleWord> sweepWords = std::vector<SampleWord>(kTotal);
  std::vector<SampleWord> recordWords = std::vector<SampleWord>(kTotal);
  std::vector<std::int8_t> planes = std::vector<std::int8_t>(6 * static_cast<std::size_t>(kTotal));
  std::string report;

  // The default band plan: Q 4 from 18 Hz.
  Run() { (void)FindHighFreq(4.0, kBands, kStart, plan.low.data(), plan.high.data()); }

  std::int8_t* Plane(int channel) {
    return planes.data() + std::size_t{3} * static_cast<std::size_t>(channel) * kTotal;
  }
};

void BM_DefaultRunComputation(benchmark::State& state) {
  Run run;
  for (auto _ : state) {
    const std::int32_t syncOut = MakePulse(run.pulseWords.data(), kRate, kSyncLen, kPad);
    NUM24_TO_CHAR(run.pulseWords.data(), run.Plane(1), kSyncLen);
    MakeSweep(kRate, run.sweepWords.data(), run.freqTrack.data(), kStart, run.plan.high[kBands - 1],
              kTotal, 0.5, kPad);
    NUM24_TO_CHAR(run.sweepWords.data(), run.Plane(0), kTotal);
    CHAR_TO_NUM32(run.Plane(0), run.recordWords.data(), 3, kTotal);
    CHAR_TO_NUM32(run.Plane(1), run.syncWords.data(), 3, kSyncLen);
    double peak = 0.0;
    const std::int32_t syncIn = SearchPeak(run.syncWords.data(), kSyncLen, peak);
    const BandLevels levels =
        ComputeBandLevels(kTotal, kBands, run.freqTrack.data(), run.recordWords.data(),
                          syncIn - syncOut, run.plan.high.data(), kPad);
    WriteReport(levels, run.plan.low.data(), run.plan.high.data(), run.report);
    std::string warning = UnresolvedWarning(levels);
    benchmark::DoNotOptimize(warning);
    benchmark::DoNotOptimize(run.report);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_DefaultRunComputation)->Unit(benchmark::kMillisecond);

// The stages on their own, to show where the time goes.
void BM_Sweep(benchmark::State& state) {
  Run run;
  for (auto _ : state) {
    MakeSweep(kRate, run.sweepWords.data(), run.freqTrack.data(), kStart, run.plan.high[kBands - 1],
              kTotal, 0.5, kPad);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Sweep)->Unit(benchmark::kMillisecond);

void BM_PackAndUnpack(benchmark::State& state) {
  Run run;
  for (auto _ : state) {
    NUM24_TO_CHAR(run.sweepWords.data(), run.Plane(0), kTotal);
    CHAR_TO_NUM32(run.Plane(0), run.recordWords.data(), 3, kTotal);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PackAndUnpack)->Unit(benchmark::kMillisecond);

void BM_Analysis(benchmark::State& state) {
  Run run;
  MakeSweep(kRate, run.recordWords.data(), run.freqTrack.data(), kStart, run.plan.high[kBands - 1],
            kTotal, 0.5, kPad);
  for (auto _ : state) {
    const BandLevels levels =
        ComputeBandLevels(kTotal, kBands, run.freqTrack.data(), run.recordWords.data(), 0,
                          run.plan.high.data(), kPad);
    WriteReport(levels, run.plan.low.data(), run.plan.high.data(), run.report);
    benchmark::DoNotOptimize(run.report);
  }
}
BENCHMARK(BM_Analysis)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
