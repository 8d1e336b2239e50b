#include "signals/run_signals.h"

#include <algorithm>

#include "signals/log_sweep.h"
#include "signals/sweep.h"
#include "signals/sync_pulse.h"

std::size_t OutputBytes(const MeasurementSetup& setup) {
  return static_cast<std::size_t>(setup.TotalSamples()) * sizeof(SampleWord);
}

RunSignals MakeRunSignals(const MeasurementSetup& setup) {
  const std::int32_t total = setup.TotalSamples();
  const auto size = static_cast<std::size_t>(total);
  RunSignals signals;
  signals.stimulus.assign(size, 0);
  signals.loopback.assign(size, 0);

  // The sync array is the first SYNC_LEN samples of the loop-back output.
  signals.syncOut = MakePulse(signals.loopback.data(), setup.rate, SYNC_LEN, EDGE_PAD);
  signals.burstStart = EDGE_PAD;
  signals.burstLength = static_cast<std::int32_t>(setup.rate / kBurstHz);
  // The check burst plays a twentieth of a second after the sweep ends.
  signals.checkBurstStart =
      EDGE_PAD + setup.SweepSamples() + static_cast<std::int32_t>(setup.rate / 20);
  const auto burst = signals.loopback.begin() + signals.burstStart;
  signals.sentBurst.assign(burst, burst + signals.burstLength);
  std::copy(burst, burst + signals.burstLength, signals.loopback.begin() + signals.checkBurstStart);

  const Stimulus& tone = setup.stimulus;
  if (tone.kind == SweepKind::kExponential) {
    const LogSweepPlan plan =
        MakeLogSweep({.startHz = tone.startHz,
                      .endHz = tone.endHz,
                      .rate = static_cast<double>(setup.rate),
                      .seconds = static_cast<double>(setup.SweepSamples()) / setup.rate,
                      .amplitude = tone.amplitude},
                     EDGE_PAD, signals.stimulus, {});
    signals.sweepRateConstant = plan.rateConstant;
    signals.track =
        ExponentialTrack(plan.startHz, plan.rateConstant * setup.rate, setup.SweepSamples());
    return signals;
  }
  MakeSweep(setup.rate, signals.stimulus.data(), nullptr, tone.startHz, tone.endHz, total,
            tone.amplitude, EDGE_PAD);
  signals.track = SweepTrack(tone.startHz, tone.endHz, setup.SweepSamples());
  return signals;
}
