#include "setup/measurement_setup.h"

#include <algorithm>

std::span<const double> MeasurementSetup::BandHighs() const {
  return std::span<const double>(plan.high).first(static_cast<std::size_t>(
      std::clamp(bandCount, std::int32_t{0}, static_cast<std::int32_t>(kMaxBands))));
}

std::int32_t MeasurementSetup::SweepSamples() const {
  // The product is formed in extended precision before it is truncated:
  // 0.7 s gives 33599 samples, not 33600.
  return static_cast<std::int32_t>(static_cast<long double>(rate) * stimulus.seconds);
}

double MeasurementSetup::TopHz() const {
  return std::min(stimulus.endHz, rate / 2.0);
}

MeasurementSetup MakeSetup(const Settings& settings, const SetupChoices& choices) {
  MeasurementSetup setup;
  setup.deviceName = settings.deviceName.data();
  setup.qFactor = settings.qFactor;
  setup.bandCount = settings.bandCount;
  setup.stimulus.startHz = settings.startHz;
  setup.stimulus.seconds = settings.sweepSeconds;
  setup.stimulus.endHz = FindHighFreq(settings.qFactor, settings.bandCount, settings.startHz,
                                      setup.plan.low.data(), setup.plan.high.data());
  setup.stimulus.kind = choices.sweep;
  setup.stimulus.amplitude = choices.amplitude;
  setup.acousticBands = choices.acousticBands;
  setup.calibrations = choices.calibrations;
  return setup;
}

std::optional<Unplayable> CheckPlayable(const MeasurementSetup& setup) {
  // The console refuses these; the check keeps a run safe when it is handed
  // such settings all the same.
  if (setup.bandCount > kMaxBands) {
    return Unplayable::kTooManyBands;
  }
  if (!(setup.stimulus.seconds >= 0.0 && setup.stimulus.seconds <= kMaxSweepSeconds)) {
    return Unplayable::kSweepLength;
  }
  if (setup.qFactor < 0.0) {
    return Unplayable::kNegativeQ;
  }
  if (!(setup.stimulus.startHz >= 1.0)) {
    return Unplayable::kStartBelow1Hz;
  }
  return std::nullopt;
}
