#include "analysis/fine_response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>

#include "analysis/band_analysis.h"

namespace {

// A frequency counts as below the top when it lies within rounding of it.
constexpr double kTopSlack = 1.0 + 1e-12;

// The bins [first, last] of the window around hz, kept inside [lowest,
// highest]; a window narrower than a bin takes the nearest bin.
std::pair<std::size_t, std::size_t> Window(double hz, double binHz, std::size_t lowest,
                                           std::size_t highest) {
  const double half = std::exp2(FineSmoothingOctaves(hz) / 2.0);
  const double from = std::max(std::ceil(hz / half / binHz), static_cast<double>(lowest));
  const double to = std::min(std::floor(hz * half / binHz), static_cast<double>(highest));
  if (from <= to) {
    return {static_cast<std::size_t>(from), static_cast<std::size_t>(to)};
  }
  const double nearest =
      std::clamp(std::round(hz / binHz), static_cast<double>(lowest), static_cast<double>(highest));
  return {static_cast<std::size_t>(nearest), static_cast<std::size_t>(nearest)};
}

double WrappedDegrees(std::complex<double> value) {
  const double degrees = std::arg(value) * 180.0 / std::numbers::pi;
  return degrees <= -180.0 ? degrees + 360.0 : degrees;
}

}  // namespace

double FineSmoothingOctaves(double hz) {
  const double above = std::clamp(std::log2(hz / kModalTopHz), 0.0, 1.0);
  return kModalSmoothingOctaves * std::pow(kFineSmoothingOctaves / kModalSmoothingOctaves, above);
}

FineResponse ComputeFineResponse(const RoomResponse& room, const SweepRange& range,
                                 std::int32_t timeOfFlight) {
  FineResponse points;
  const double top = range.TopHz();
  if (room.transfer.empty() || range.startHz <= 0.0 || range.startHz > top * kTopSlack) {
    return points;
  }
  const double binHz = room.BinHz();
  const std::size_t highest =
      std::min(room.transfer.size() - 1, static_cast<std::size_t>(std::floor(top / binHz)));
  const std::size_t lowest =
      std::min(highest, static_cast<std::size_t>(std::ceil(range.startHz / binHz)));
  // The delay's phase turns by this much from one bin to the next.
  const double turnPerBin = 2.0 * std::numbers::pi * static_cast<double>(timeOfFlight) /
                            static_cast<double>(room.transformSize);
  const std::complex<double> step = std::polar(1.0, turnPerBin);

  for (int i = 0;; ++i) {
    const double hz = range.startHz * std::exp2(i / kFinePointsPerOctave);
    if (hz > top * kTopSlack) {
      break;
    }
    const auto [first, last] = Window(hz, binHz, lowest, highest);
    double power = 0.0;
    std::complex<double> sum = 0.0;
    std::complex<double> turn = std::polar(1.0, turnPerBin * static_cast<double>(first));
    for (std::size_t k = first; k <= last; ++k) {
      power += std::norm(room.transfer[k]);
      sum += room.transfer[k] * turn;
      turn *= step;
    }
    power /= static_cast<double>(last - first + 1);
    const double db = power > 0.0 ? 10.0 * std::log10(power) : kNoLevelDb;
    points.push_back({hz, std::max(db, kNoLevelDb), WrappedDegrees(sum)});
  }
  return points;
}
