// The simulated room's convolution engine on a 2-second reverberant tail (the
// `reverb` key's, with an RT60 of 1.5 s at every octave), run sample by sample
// over 10 s of audio at 48 kHz as the room plays output 1 through it.
// "realtime" is the factor of real time: seconds of audio per second of CPU.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "convolver.h"
#include "reverb.h"

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kAudioFrames = 480000;  // 10 s

std::vector<double> Input() {
  std::vector<double> input(kAudioFrames);
  std::uint32_t state = 1;
  for (double& x : input) {
    state = state * 1664525U + 1013904223U;
    x = static_cast<double>(static_cast<std::int32_t>(state) >> 8);
  }
  return input;
}

void BM_SimroomConvolution(benchmark::State& state) {
  const std::vector<double> response =
      simroom::MakeReverbResponse({{1.5}, -6.0, 1}, kRate);  // 96000 frames: 2 s
  simroom::Convolver convolver(response);
  const std::vector<double> input = Input();
  for (auto _ : state) {
    convolver.Reset();
    double sum = 0.0;
    for (const double x : input) {
      sum += convolver.Process(x);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["response_s"] = static_cast<double>(response.size()) / kRate;
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(kAudioFrames) / kRate,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SimroomConvolution)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
