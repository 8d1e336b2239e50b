#include "report/plot_axes.h"

#include <cmath>
#include <cstdio>

namespace {

std::string FrequencyLabel(double hz) {
  char text[16];
  if (hz >= 1000.0) {
    std::snprintf(text, sizeof text, "%gk", hz / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%g", hz);
  }
  return text;
}

}  // namespace

FrequencyAxis FrequencyAxisFor(double lowestHz, double highestHz) {
  if (!(lowestHz > 0.0) || !(highestHz > lowestHz)) {
    return {};
  }
  const double lowDecade = std::pow(10.0, std::floor(std::log10(lowestHz)));
  const double highDecade = std::pow(10.0, std::floor(std::log10(highestHz)));
  // A tiny allowance keeps 20000.000001 (a sum of steps) on the 20k line.
  const double lowMultiple = std::floor(lowestHz / lowDecade * (1.0 + 1e-9));
  const double highMultiple = std::ceil(highestHz / highDecade * (1.0 - 1e-9));
  return {lowMultiple * lowDecade, highMultiple * highDecade};
}

std::vector<GridLine> FrequencyGrid(const FrequencyAxis& axis) {
  std::vector<GridLine> lines;
  const auto firstPower = static_cast<int>(std::floor(std::log10(axis.lowHz) + 1e-9));
  const auto lastPower = static_cast<int>(std::floor(std::log10(axis.highHz) + 1e-9));
  for (int power = firstPower; power <= lastPower; ++power) {
    const double decade = std::pow(10.0, power);
    for (int multiple = 1; multiple <= 9; ++multiple) {
      const double hz = std::round(decade * multiple * 1e6) / 1e6;
      if (hz < axis.lowHz * (1.0 - 1e-9) || hz > axis.highHz * (1.0 + 1e-9)) {
        continue;
      }
      const bool labelled = multiple == 1 || multiple == 2 || multiple == 5;
      lines.push_back({hz, labelled ? FrequencyLabel(hz) : "", multiple == 1});
    }
  }
  return lines;
}

DbAxis DbAxisFor(double lowestDb, double highestDb) {
  if (!std::isfinite(lowestDb) || !std::isfinite(highestDb) || highestDb < lowestDb) {
    return {};
  }
  constexpr double kHeadroomDb = 1.0;
  constexpr double kTallestDb = 80.0;
  lowestDb = std::max(lowestDb, highestDb - kTallestDb + 2 * kHeadroomDb);
  const double step = highestDb - lowestDb > 42.0 ? 10.0 : 6.0;
  double top = std::ceil((highestDb + kHeadroomDb) / step) * step;
  double bottom = std::floor((lowestDb - kHeadroomDb) / step) * step;
  // Grow a narrow range on both sides alike, so that a flat response sits in
  // the middle rather than on an edge.
  for (bool growTop = false; top - bottom < 4 * step; growTop = !growTop) {
    (growTop ? top : bottom) += growTop ? step : -step;
  }
  return {bottom, top, step};
}

std::vector<GridLine> DbGrid(const DbAxis& axis) {
  std::vector<GridLine> lines;
  const auto steps = static_cast<int>(std::lround((axis.topDb - axis.bottomDb) / axis.stepDb));
  for (int i = 0; i <= steps; ++i) {
    const double db = axis.bottomDb + i * axis.stepDb;
    char text[16];
    std::snprintf(text, sizeof text, db > 0.0 ? "+%g" : "%g", db == 0.0 ? 0.0 : db);
    lines.push_back({db, text, db == 0.0});
  }
  return lines;
}

TimeAxis TimeAxisFor(double fromS, double toS) {
  if (!std::isfinite(fromS) || !std::isfinite(toS) || !(toS > fromS)) {
    return {};
  }
  const double span = toS - std::max(fromS, 0.0);
  const double rough = span / 6.0;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  double step = 10.0 * decade;
  for (const double multiple : {1.0, 2.0, 5.0}) {
    if (multiple * decade >= rough) {
      step = multiple * decade;
      break;
    }
  }
  return {fromS, std::ceil(toS / step * (1.0 - 1e-9)) * step, step, toS >= 2.0};
}

std::vector<GridLine> TimeGrid(const TimeAxis& axis) {
  std::vector<GridLine> lines;
  const auto first = static_cast<long>(std::ceil(axis.fromS / axis.stepS - 1e-9));
  const auto last = static_cast<long>(std::floor(axis.toS / axis.stepS + 1e-9));
  for (long k = first; k <= last; ++k) {
    const double seconds = static_cast<double>(k) * axis.stepS;
    char text[24];
    std::snprintf(text, sizeof text, "%g", axis.inSeconds ? seconds : seconds * 1000.0);
    lines.push_back({seconds, k == 0 ? "0" : text, k == 0});
  }
  return lines;
}
