#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <vector>

#include "analysis/fine_response.h"
#include "analysis/room_response.h"
#include "analysis/time_of_flight.h"
#include "signals/sweep.h"

// The room-response analysis a default measurement adds: 10 s from 18 Hz to
// 16175 Hz (31 bands, Q 4), 528000 samples per channel. The recording is the
// sweep through one resonance, 409 samples late, so the time of flight and
// the fine response have something to find. The process's peak resident
// memory is reported as a counter, in MiB.
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kTotal = 480000 + 2 * kPad;
constexpr std::int32_t kFlight = 409;
constexpr auto kSamples = static_cast<std::size_t>(kTotal);
const SweepRange kDefaultRange{18.0, 16175.0, kRate};

struct DefaultRun {
  std::vector<SampleWord> played = std::vector<SampleWord>(kSamples);
  std::vector<SampleWord> recorded = std::vector<SampleWord>(kSamples, 0);

  DefaultRun() {
    std::vector<double> track(kSamples);
    MakeSweep(kRate, played.data(), track.data(), kDefaultRange.startHz, kDefaultRange.endHz,
              kTotal, 0.5, kPad);
    // A two-pole resonance near 1 kHz (poles at radius 0.99), peaking near 0.4 of full scale.
    double y1 = 0.0;
    double y2 = 0.0;
    for (std::size_t i = 0; i + kFlight < kSamples; ++i) {
      const double y = 0.002 * played[i] + 1.9630 * y1 - 0.9801 * y2;
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

void BM_RoomResponseOfDefaultRun(benchmark::State& state) {
  const DefaultRun run;
  std::int32_t found = -1;
  for (auto _ : state) {
    (void)_;
    const RoomResponse room = *MeasureRoomResponse(run.played, run.recorded, kDefaultRange);
    const std::optional<std::int32_t> flight = FindTimeOfFlight(room.impulse, kDefaultRange);
    FineResponse fine = ComputeFineResponse(room, kDefaultRange, flight.value_or(0));
    const FlightSummary summary = SummariseFlight(flight.value_or(0), kRate);
    found = flight.value_or(-1);
    benchmark::DoNotOptimize(fine);
    benchmark::DoNotOptimize(summary);
  }
  // 409: the direct sound's onset, however the resonance delays its crest.
  state.counters["time_of_flight"] = found;
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_RoomResponseOfDefaultRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
