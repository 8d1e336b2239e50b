// How long designing a room correction takes for a room with more modes than
// the filters allowed, cutting only and with boosts.

#include <benchmark/benchmark.h>

#include <cmath>

#include "correction/correction_design.h"
#include "correction/peaking_filter.h"

namespace {

FineResponse ManyModes() {
  const PeakingFilter modes[] = {{35, 6, 3},   {52, -8, 5}, {71, 9, 6},  {110, 5, 2},
                                 {160, -6, 4}, {230, 4, 8}, {330, 7, 3}, {420, -5, 5}};
  FineResponse response;
  for (int k = 0; k <= 470; ++k) {
    const double hz = 18.0 * std::exp2(k / 48.0);
    response.push_back({hz, SummedGainDb(modes, hz), 0.0});
  }
  return response;
}

void BM_DesignCorrection(benchmark::State& state) {
  const FineResponse response = ManyModes();
  CorrectionRequest request;
  request.boostLimitDb = static_cast<double>(state.range(0));
  std::size_t filters = 0;
  for (auto _ : state) {
    const CorrectionDesign design = DesignCorrection(response, request);
    filters = design.filters.size();
    benchmark::DoNotOptimize(design.preGainDb);
  }
  state.counters["filters"] = static_cast<double>(filters);
}
BENCHMARK(BM_DesignCorrection)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
