#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <vector>

#include "analysis/harmonic_distortion.h"
#include "analysis/room_response.h"
#include "analysis/time_of_flight.h"
#include "report/distortion_report.h"
#include "signals/log_sweep.h"

// The compute a default log-sweep run adds: 10 s from 18 Hz to 16175 Hz,
// 528000 samples per channel, deconvolved with the lead the harmonics need,
// then the harmonic distortion and its texts. The recording is the sweep
// through y = x + 0.04 x^2 + 0.05 x^3 and one resonance, 409 samples late,
// so that every window has something to find. The process's peak resident
// memory is reported as a counter, in MiB; run one benchmark at a time
// (--benchmark_filter) to compare the deconvolution with and without lead.
namespace {

constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kTotal = 480000 + 2 * kPad;
constexpr std::int32_t kFlight = 409;
constexpr auto kSamples = static_cast<std::size_t>(kTotal);
const SweepRange kDefaultRange{18.0, 16175.0, 48000.0};

struct DefaultRun {
  std::vector<SampleWord> played = std::vector<SampleWord>(kSamples);
  std::vector<SampleWord> recorded = std::vector<SampleWord>(kSamples, 0);
  LogSweepPlan plan;

  DefaultRun() {
    std::vector<double> track(kSamples);
    plan = MakeLogSweep({kDefaultRange.startHz, kDefaultRange.endHz, 48000.0, 10.0, 0.5}, kPad,
                        played, track);
    // A two-pole resonance near 1 kHz (poles at radius 0.99), peaking near 0.4 of full scale.
    double y1 = 0.0;
    double y2 = 0.0;
    for (std::size_t i = 0; i + kFlight < kSamples; ++i) {
      const double x = played[i] / kFullScale;
      const double distorted = (x + 0.04 * x * x + 0.05 * x * x * x) * kFullScale;
      const double y = 0.002 * distorted + 1.9630 * y1 - 0.9801 * y2;
      y2 = y1;
      y1 = y;
      recorded[i + kFlight] = static_cast<SampleWord>(y);
    }
  }
};

double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux counts in KiB
}

void BM_DistortionOfDefaultLogSweepRun(benchmark::State& state) {
  const DefaultRun run;
  const std::size_t lead = DistortionLeadSamples(kDefaultRange, run.plan.rateConstant);
  std::size_t points = 0;
  for (auto _ : state) {
    (void)_;
    const RoomResponse room =
        *MeasureRoomResponse(run.played, run.recorded, kDefaultRange, {.leadSamples = lead});
    const std::int32_t flight = FindTimeOfFlight(room.impulse, kDefaultRange).value_or(0);
    const HarmonicDistortion distortion =
        MeasureHarmonicDistortion(room, kDefaultRange, {run.plan.rateConstant, flight});
    std::string texts = DistortionCsv(distortion) + DistortionSummary(distortion);
    points = distortion.points.size();
    benchmark::DoNotOptimize(texts);
  }
  state.counters["points"] = static_cast<double>(points);
  state.counters["lead_samples"] = static_cast<double>(lead);
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_DistortionOfDefaultLogSweepRun)->Unit(benchmark::kMillisecond);

// The analysis alone, on a response deconvolved once.
void BM_DistortionAnalysisAlone(benchmark::State& state) {
  const DefaultRun run;
  const RoomResponse room = *MeasureRoomResponse(
      run.played, run.recorded, kDefaultRange,
      {.leadSamples = DistortionLeadSamples(kDefaultRange, run.plan.rateConstant)});
  const std::int32_t flight = FindTimeOfFlight(room.impulse, kDefaultRange).value_or(0);
  for (auto _ : state) {
    (void)_;
    HarmonicDistortion distortion =
        MeasureHarmonicDistortion(room, kDefaultRange, {run.plan.rateConstant, flight});
    benchmark::DoNotOptimize(distortion);
  }
}
BENCHMARK(BM_DistortionAnalysisAlone)->Unit(benchmark::kMillisecond);

// The deconvolution of the same run without and with the lead, for the
// peak memory (one at a time).
void BM_LogSweepDeconvolution(benchmark::State& state) {
  const DefaultRun run;
  const std::size_t lead =
      state.range(0) != 0 ? DistortionLeadSamples(kDefaultRange, run.plan.rateConstant) : 0;
  for (auto _ : state) {
    (void)_;
    RoomResponse room =
        *MeasureRoomResponse(run.played, run.recorded, kDefaultRange, {.leadSamples = lead});
    benchmark::DoNotOptimize(room);
  }
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_LogSweepDeconvolution)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
