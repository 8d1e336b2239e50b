#include "analysis/weighting.h"

#include <cmath>

namespace {

// The poles of IEC 61672-1's closed forms, in Hz.
constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;

// The curves before normalisation, as power ratios.
double CPower(double hz) {
  const double f2 = hz * hz;
  const double ratio = kF4 * kF4 * f2 / ((f2 + kF1 * kF1) * (f2 + kF4 * kF4));
  return ratio * ratio;
}

double APower(double hz) {
  const double f2 = hz * hz;
  return CPower(hz) * f2 * f2 / ((f2 + kF2 * kF2) * (f2 + kF3 * kF3));
}

// The time per hertz the sweep spends at hz, up to a constant factor.
double TimePerHz(SweepPace pace, double hz) {
  return pace == SweepPace::kLinear ? 1.0 : 1.0 / hz;
}

// The weighted power a point contributes, up to the same factor for all.
struct Sample {
  double time = 0.0;
  double z = 0.0;
  double c = 0.0;
};

Sample At(const ResponsePoint& point, SweepPace pace) {
  const double time = TimePerHz(pace, point.hz);
  const double power = time * std::pow(10.0, point.db / 10.0);
  return {time, power, power * CPower(point.hz)};
}

}  // namespace

double CWeightingDb(double hz) {
  static const double atOneKilohertz = CPower(1000.0);
  return 10.0 * std::log10(CPower(hz) / atOneKilohertz);
}

double AWeightingDb(double hz) {
  static const double atOneKilohertz = APower(1000.0);
  return 10.0 * std::log10(APower(hz) / atOneKilohertz);
}

std::optional<SweepSpl> SweepLevelAtMicrophone(std::span<const ResponsePoint> response,
                                               SweepPace pace) {
  if (response.size() < 2) {
    return std::nullopt;
  }
  Sample total;
  Sample previous = At(response.front(), pace);
  for (std::size_t i = 1; i < response.size(); ++i) {
    const Sample next = At(response[i], pace);
    const double half = (response[i].hz - response[i - 1].hz) / 2.0;
    total.time += half * (previous.time + next.time);
    total.z += half * (previous.z + next.z);
    total.c += half * (previous.c + next.c);
    previous = next;
  }
  const double cAtOneKilohertz = CPower(1000.0);
  return SweepSpl{.zDb = 10.0 * std::log10(total.z / total.time),
                  .cDb = 10.0 * std::log10(total.c / (total.time * cAtOneKilohertz))};
}
