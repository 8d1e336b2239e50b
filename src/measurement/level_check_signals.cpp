#include "measurement/level_check_signals.h"

#include <algorithm>
#include <span>

#include "setup/run_constants.h"
#include "signals/pink_noise.h"
#include "signals/sync_pulse.h"

namespace {

constexpr std::int32_t kTotal = EDGE_PAD + kLevelCheckNoiseSamples + EDGE_PAD;
// The burst's samples: one millisecond.
constexpr std::int32_t kBurstSamples = SAMPLE_RATE / kBurstHz;

}  // namespace

LevelCheckPlayback LevelCheckSignals::Playback() const {
  return {.burst = std::span<const SampleWord>(output2).subspan(EDGE_PAD, kBurstSamples),
          .burstStart = EDGE_PAD,
          .burstCrest = burstCrest,
          .syncSearch = SYNC_LEN,
          .noiseBegin = EDGE_PAD,
          .noiseEnd = EDGE_PAD + kLevelCheckNoiseSamples,
          // The largest lag the run's sync search can find.
          .latencyReach = SYNC_LEN - EDGE_PAD};
}

LevelCheckSignals MakeLevelCheckSignals(double amplitude) {
  LevelCheckSignals signals;
  signals.output1.assign(kTotal, 0);
  const std::vector<SampleWord> noise =
      MakePinkNoise({.samples = kLevelCheckNoiseSamples, .rate = SAMPLE_RATE, .peak = amplitude});
  std::copy(noise.begin(), noise.end(), signals.output1.begin() + EDGE_PAD);
  signals.output2.assign(kTotal, 0);
  signals.burstCrest = MakePulse(signals.output2.data(), SAMPLE_RATE, kTotal, EDGE_PAD);
  return signals;
}
