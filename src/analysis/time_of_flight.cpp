#include "analysis/time_of_flight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

std::optional<std::int32_t> FindTimeOfFlight(std::span<const float> impulse, double clearanceDb) {
  double peak = 0.0;
  double energy = 0.0;
  for (const float value : impulse) {
    const double v = value;
    peak = std::max(peak, std::abs(v));
    energy += v * v;
  }
  if (peak <= 0.0) {
    return std::nullopt;
  }
  const double rms = std::sqrt(energy / static_cast<double>(impulse.size()));
  if (20.0 * std::log10(peak / rms) < clearanceDb) {
    return std::nullopt;
  }

  const double threshold = peak * std::pow(10.0, -6.0 / 20.0);
  std::size_t i = 0;
  while (std::abs(impulse[i]) < threshold) {
    ++i;
  }
  while (i + 1 < impulse.size() && std::abs(impulse[i + 1]) > std::abs(impulse[i])) {
    ++i;
  }
  return static_cast<std::int32_t>(i);
}

FlightSummary SummariseFlight(std::int32_t samples, double rate, double speedOfSound) {
  const double seconds = static_cast<double>(samples) / rate;
  return {samples, seconds * 1000.0, seconds * speedOfSound};
}
