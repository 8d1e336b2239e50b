#include "analysis/response_average.h"

#include <algorithm>
#include <cmath>

double InterpolateDb(const FineResponse& response, double hz) {
  const auto above =
      std::lower_bound(response.begin(), response.end(), hz,
                       [](const ResponsePoint& point, double value) { return point.hz < value; });
  if (above == response.begin()) {
    return above->db;
  }
  if (above == response.end()) {
    return response.back().db;
  }
  const ResponsePoint& below = *(above - 1);
  const double span = std::log(above->hz / below.hz);
  const double t = span > 0.0 ? std::log(hz / below.hz) / span : 0.0;
  return below.db + t * (above->db - below.db);
}

FineResponse AveragePower(std::span<const FineResponse> responses) {
  FineResponse average;
  if (responses.empty()) {
    return average;
  }
  double lowest = 0.0;
  double highest = INFINITY;
  for (const FineResponse& response : responses) {
    if (response.empty()) {
      return average;
    }
    lowest = std::max(lowest, response.front().hz);
    highest = std::min(highest, response.back().hz);
  }
  const auto count = static_cast<double>(responses.size());
  for (const ResponsePoint& point : responses.front()) {
    if (point.hz < lowest || point.hz > highest) {
      continue;
    }
    double power = 0.0;
    for (const FineResponse& response : responses) {
      power += std::pow(10.0, InterpolateDb(response, point.hz) / 10.0);
    }
    average.push_back({point.hz, 10.0 * std::log10(power / count), 0.0});
  }
  return average;
}
