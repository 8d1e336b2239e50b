#include "room.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <new>
#include <numbers>

#include "reverb.h"
#include "splitmix.h"

namespace simroom {

RoomPath::RoomPath(const RoomConfig& config, double rate, std::unique_ptr<Convolver> convolver)
    : gain_(std::pow(10.0, config.gainDb / 20.0)),
      nonlinear_(config.nonlinear),
      convolver_(std::move(convolver)),
      keepDirect_(config.irPath.empty()) {
  // The equaliser's filters come after the room's: a correction heard in the room.
  filters_.reserve(config.filters.size() + config.correction.size());
  for (const auto* list : {&config.filters, &config.correction}) {
    for (const FilterSpec& filter : *list) {
      filters_.emplace_back(filter, rate);
    }
  }
}

double RoomPath::Process(double x) {
  if (nonlinear_) {
    const double u = x / kFullScale;
    x = kFullScale * (u + nonlinear_->a2 * u * u + nonlinear_->a3 * u * u * u);
  }
  for (Biquad& filter : filters_) {
    x = filter.Process(x);
  }
  if (convolver_) {
    const double convolved = convolver_->Process(x);
    x = keepDirect_ ? x + convolved : convolved;
  }
  return gain_ * x;
}

void RoomPath::Reset() {
  for (Biquad& filter : filters_) {
    filter.Reset();
  }
  if (convolver_) {
    convolver_->Reset();
  }
}

int MakeRoomConvolver(const RoomConfig& config, std::unique_ptr<Convolver>& out) {
  out.reset();
  try {
    if (config.ir) {
      out = std::make_unique<Convolver>(*config.ir);
    } else if (config.reverb) {
      out = std::make_unique<Convolver>(MakeReverbResponse(*config.reverb, config.rate));
    }
  } catch (const std::bad_alloc&) {
    SNDERR("simroom: no memory for the room's impulse response");
    return -ENOMEM;
  } catch (const std::exception& e) {
    SNDERR("simroom: %s", e.what());
    return -EINVAL;
  }
  return 0;
}

Calibrator::Calibrator(const CalibratorSpec& wanted, double rate)
    : hz_(wanted.hz), rate_(rate), peak_(kFullScale * std::pow(10.0, wanted.levelDbfs / 20.0)) {}

double Calibrator::At(std::int64_t frame) const {
  // The phase in turns below one, so that the sine keeps its precision however long the run.
  const double turns = std::fmod(hz_ * static_cast<double>(frame), rate_) / rate_;
  return peak_ * std::sin(2.0 * std::numbers::pi * turns);
}

Noise::Noise(std::uint64_t seed, double levelDb)
    : seed_(seed),
      rms_(levelDb <= kNoiseOffDb ? 0.0 : kFullScale * std::pow(10.0, levelDb / 20.0)) {}

double Noise::At(std::int64_t frame) const {
  if (rms_ == 0.0) {
    return 0.0;
  }
  const std::uint64_t base = Mix(seed_ ^ Mix(static_cast<std::uint64_t>(frame)));
  // Box-Muller on two uniforms, the first in (0, 1].
  constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
  const double u1 = static_cast<double>((Mix(base) >> 11) + 1) * kScale;
  const double u2 = static_cast<double>(Mix(base + 1) >> 11) * kScale;
  return rms_ * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::int32_t Saturate24(double x) {
  const double r = std::nearbyint(x);
  if (std::isnan(r)) {
    return 0;
  }
  if (r >= kFullScale - 1.0) {
    return static_cast<std::int32_t>(kFullScale - 1.0);
  }
  if (r <= -kFullScale) {
    return static_cast<std::int32_t>(-kFullScale);
  }
  return static_cast<std::int32_t>(r);
}

}  // namespace simroom
