#include "signals/run_signals.h"

#include <algorithm>

#include "signals/log_sweep.h"
#include "signals/sweep.h"
#include "signals/sync_pulse.h"

std::size_t RunSignalsBytes(const MeasurementSetup& setup) {
  const auto total = static_cast<std::size_t>(setup.TotalSamples());
  return total * (sizeof(double) + 2 * sizeof(SampleWord));
}

RunSignals MakeRunSignals(const MeasurementSetup& setup) {
  const std::int32_t total = setup.TotalSamples();
  const auto size = static_cast<std::size_t>(total);
  RunSignals signals;
  signals.freqTrack.assign(size, 0.0);
  signals.stimulus.assign(size, 0);
  signals.loopback.assign(size, 0);

  // The sync array is the first SYNC_LEN samples of the loop-back output.
  signals.syncOut = MakePulse(signals.loopback.data(), setup.rate, SYNC_LEN, EDGE_PAD);
  signals.burstStart = EDGE_PAD;
  signals.burstLength = static_cast<std::int32_t>(setup.rate / kBurstHz);
  // The check burst plays a twentieth of a second after the sweep ends.
  signals.checkBurstStart =
      EDGE_PAD + setup.SweepSamples() + static_cast<std::int32_t>(setup.rate / 20);
  const auto burst = signals.SentBurst();
  std::copy(burst.begin(), burst.end(), signals.loopback.begin() + signals.checkBurstStart);

  const Stimulus& tone = setup.stimulus;
  if (tone.kind == SweepKind::kExponential) {
    const LogSweepPlan plan =
        MakeLogSweep({.startHz = tone.startHz,
                      .endHz = tone.endHz,
                      .rate = static_cast<double>(setup.rate),
                      .seconds = static_cast<double>(setup.SweepSamples()) / setup.rate,
                      .amplitude = tone.amplitude},
                     EDGE_PAD, signals.stimulus, signals.freqTrack);
    signals.sweepRateConstant = plan.rateConstant;
    return signals;
  }
  MakeSweep(setup.rate, signals.stimulus.data(), signals.freqTrack.data(), tone.startHz, tone.endHz,
            total, tone.amplitude, EDGE_PAD);
  return signals;
}
