#include "signals/log_sweep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The fades. The tone starts at phase 0, so its start is no step, only a
// bend of the slope, and a fade there needs only to be long against a
// sample; a long one would take level from the lowest frequencies, which the
// tone passes through fastest in time per hertz: 3 cycles of 18 Hz in a 10 s
// sweep would cover its first sixth of an octave. So the shorter of 5 ms and
// 3 cycles of the start (5 ms covers 0.35 % of the start frequency). The end
// falls at any phase, a step that would spread over the whole band, so the
// fade there lasts the longer of 5 ms and 3 cycles of the top: many cycles of
// the top, and still only the last 0.35 % of it in a 10 s sweep.
constexpr double kFadeSeconds = 0.005;
constexpr double kFadeCycles = 3.0;
// No fade takes more than this share of the tone.
constexpr double kMostOfTone = 0.25;

// The largest value a 24-bit sample holds.
constexpr double kLargestWord = 8388607.0;

// L with L ln(endHz L / cycles) = seconds, so that the tone from
// cycles / L to endHz fills the slot. From a start where the left side is
// not below seconds, Newton's steps fall monotonically onto the root (the
// left side is convex and rising there).
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): one caller, named arguments
double SolveRateConstant(double endHz, double seconds, double cycles, double guess) {
  double rateConstant = guess;
  for (int i = 0; i < 100; ++i) {
    const double logRatio = std::log(endHz * rateConstant / cycles);
    const double step = (rateConstant * logRatio - seconds) / (logRatio + 1.0);
    rateConstant -= step;
    if (!(std::fabs(step) > 1e-15 * rateConstant)) {
      break;
    }
  }
  return rateConstant;
}

// Half a Hann window rising over count samples, at sample index (from 0).
double HalfHann(std::int32_t index, std::int32_t count) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(index) + 0.5) /
                              static_cast<double>(count));
}

}  // namespace

LogSweepPlan PlanLogSweep(const SweepShape& shape) {
  LogSweepPlan plan;
  plan.shape = shape;
  plan.startHz = shape.startHz;
  const double slot = std::round(shape.seconds * shape.rate);
  if (!(slot >= 1.0 && slot <= 2147483647.0)) {
    return plan;
  }
  plan.slotSamples = static_cast<std::int32_t>(slot);
  const double f1 = shape.startHz;
  const double f2 = shape.endHz;
  const double seconds = slot / shape.rate;
  if (!(f1 > 0.0 && f2 > f1 && std::isfinite(f2) && shape.rate > 0.0)) {
    return plan;
  }
  // Whole cycles of the start per rate constant that fit the slot: rounded
  // down, so the tone starts at or below the start asked for and sweeps it all.
  const double fitted = f1 * seconds / std::log(f2 / f1);
  const double cycles = std::max(1.0, std::floor(fitted));
  const double guess = cycles <= fitted ? seconds / std::log(f2 / f1) : cycles / f1;
  plan.rateConstant = SolveRateConstant(f2, seconds, cycles, guess);
  plan.startCycles = static_cast<std::int64_t>(cycles);
  plan.startHz = cycles / plan.rateConstant;

  const double topHz = std::min(f2, shape.rate / 2.0);
  if (plan.startHz <= topHz) {
    const double lastSounding =
        std::floor(plan.rateConstant * std::log(topHz / plan.startHz) * shape.rate * (1.0 + 1e-12));
    plan.toneSamples = static_cast<std::int32_t>(std::min(slot, lastSounding + 1.0));
  }
  const double most = kMostOfTone * plan.toneSamples;
  plan.fadeInSamples = static_cast<std::int32_t>(
      std::min(most, std::round(std::min(kFadeSeconds, kFadeCycles / plan.startHz) * shape.rate)));
  plan.fadeOutSamples = static_cast<std::int32_t>(
      std::min(most, std::round(std::max(kFadeSeconds, kFadeCycles / topHz) * shape.rate)));
  return plan;
}

LogSweepPlan MakeLogSweep(const SweepShape& shape, std::int32_t pad, std::span<SampleWord> samples,
                          std::span<double> freqTrack) {
  const LogSweepPlan plan = PlanLogSweep(shape);
  std::fill(samples.begin(), samples.end(), 0);
  if (!freqTrack.empty()) {
    freqTrack[0] = plan.startHz;
  }
  const auto slot = static_cast<std::size_t>(plan.slotSamples);
  const std::size_t tracked = std::min(slot, freqTrack.size());
  if (plan.startCycles == 0) {
    std::fill_n(freqTrack.begin(), tracked, plan.startHz);
    return plan;
  }
  const double secondsPerSample = 1.0 / shape.rate;
  for (std::size_t j = 0; j < tracked; ++j) {
    freqTrack[j] = plan.HzAt(static_cast<double>(j) * secondsPerSample);
  }

  const double crest = kFullScale * shape.amplitude;
  const auto first = static_cast<std::size_t>(std::max(pad, 0));
  const std::size_t sounding =
      first < samples.size()
          ? std::min(static_cast<std::size_t>(plan.toneSamples), samples.size() - first)
          : 0;
  const auto cycles = static_cast<double>(plan.startCycles);
  for (std::size_t j = 0; j < sounding; ++j) {
    const double t = static_cast<double>(j) * secondsPerSample;
    // Whole turns dropped before the sine: the angle stays within one turn.
    const double turns = cycles * std::expm1(t / plan.rateConstant);
    double value = std::sin(2.0 * std::numbers::pi * (turns - std::floor(turns))) * crest;
    const auto index = static_cast<std::int32_t>(j);
    if (index < plan.fadeInSamples) {
      value *= HalfHann(index, plan.fadeInSamples);
    }
    const std::int32_t fromEnd = plan.toneSamples - 1 - index;
    if (fromEnd < plan.fadeOutSamples) {
      value *= HalfHann(fromEnd, plan.fadeOutSamples);
    }
    samples[first + j] =
        static_cast<SampleWord>(std::lround(std::clamp(value, -kLargestWord, kLargestWord)));
  }
  return plan;
}
