#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/room_acoustics.h"
#include "report/acoustics_plots.h"

// The room-acoustics pass a default run adds: its impulse response is as long
// as the recording (10 s sweep and 2 x 0.5 s of padding, 528000 samples at
// 48 kHz), analysed in octave bands 63 Hz to 8 kHz, and both plots drawn.
// The response: a direct sound 3 m away, a diffuse decay of T = 0.5 s, bass
// modes at 40 and 63 Hz ringing longer, and noise 70 dB below the peak.
namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kSamples = 528000;
constexpr std::size_t kFlight = 420;
const AcousticsRequest kDefaultRequest{kRate, 18.0, 16175.0, BandResolution::kOctave};

std::vector<float> DefaultRunImpulse() {
  std::mt19937 generator(3);
  std::normal_distribution<double> gauss;
  std::vector<float> impulse(kSamples);
  for (std::size_t i = 0; i < kSamples; ++i) {
    double x = 3e-4 * gauss(generator);
    if (i >= kFlight) {
      const double t = static_cast<double>(i - kFlight) / kRate;
      x += 0.08 * gauss(generator) * std::exp(-6.91 * t / 0.5) +
           0.02 * std::sin(2.0 * std::numbers::pi * 40.0 * t) * std::exp(-6.91 * t / 1.2) +
           0.015 * std::sin(2.0 * std::numbers::pi * 63.0 * t + 1.0) * std::exp(-6.91 * t / 0.9);
    }
    impulse[i] = static_cast<float>(i == kFlight ? x + 1.0 : x);
  }
  return impulse;
}

void BM_AcousticsOfDefaultRun(benchmark::State& state) {
  const std::vector<float> impulse = DefaultRunImpulse();
  double t30At1k = 0.0;
  std::size_t svgBytes = 0;
  for (auto _ : state) {
    (void)_;
    const RoomAcoustics room = AnalyseRoomAcoustics(impulse, kDefaultRequest);
    const std::string decay = RenderDecaySvg(room, "run-001: decay", "bench");
    const std::string waterfall = RenderWaterfallSvg(room.waterfall, "run-001: waterfall", "bench");
    t30At1k = room.bands.size() > 4 ? room.bands[4].t30.value.value_or(0.0) : 0.0;
    svgBytes = decay.size() + waterfall.size();
    benchmark::DoNotOptimize(svgBytes);
  }
  // About 0.5 s; the two SVG files' size in KiB.
  state.counters["t30_1k_s"] = t30At1k;
  state.counters["svg_KiB"] = static_cast<double>(svgBytes) / 1024.0;
}
BENCHMARK(BM_AcousticsOfDefaultRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
