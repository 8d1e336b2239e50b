#include "analysis/response_average.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

// Points from startHz at steps of 1/perOctave octave up to endHz, level(f) dB.
FineResponse Sweep(double startHz, double endHz, double perOctave,
                   const std::function<double(double)>& level) {
  FineResponse points;
  for (int i = 0;; ++i) {
    const double hz = startHz * std::exp2(i / perOctave);
    if (hz > endHz) {
      break;
    }
    points.push_back({hz, level(hz), 45.0});
  }
  return points;
}

double PowerMean(double db1, double db2) {
  return 10.0 * std::log10((std::pow(10.0, db1 / 10.0) + std::pow(10.0, db2 / 10.0)) / 2.0);
}

struct AverageCase {
  std::string name;
  FineResponse first;
  FineResponse second;
  double lowHz;   // the common range that the average must cover
  double highHz;  // (0, 0: none)
  std::function<double(double)> expectedDb;
};

TEST(ResponseAverage, PowerAverageOfTwoRoomsOnTheFirstGrid) {
  const auto flat = [](double db) { return [db](double) { return db; }; };
  // A line in log f: interpolating linearly in log f must give it exactly
  // between the points of a coarser, shifted grid.
  const auto slope = [](double hz) { return 6.0 * std::log2(hz / 100.0); };
  const std::vector<AverageCase> cases{
      {"0 dB and -6 dB rooms", Sweep(20, 20000, 48, flat(0)),
       Sweep(18, 24000, 12, flat(-20 * std::log10(2.0))), 20, 20000,
       [](double) { return 10 * std::log10((1 + 0.25) / 2); }},
      {"a sloped room on a shifted grid", Sweep(30, 8000, 24, flat(0)), Sweep(21, 6000, 5, slope),
       30, 21 * std::exp2(std::floor(5 * std::log2(6000 / 21.0)) / 5),
       [&](double hz) { return PowerMean(0.0, slope(hz)); }},
      {"rooms without a common range", Sweep(20, 100, 48, flat(0)), Sweep(200, 2000, 48, flat(0)),
       0, 0, nullptr},
  };
  for (const AverageCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FineResponse average = AveragePower(std::vector<FineResponse>{c.first, c.second});
    std::size_t inRange = 0;
    for (const ResponsePoint& point : c.first) {
      inRange += point.hz >= c.lowHz && point.hz <= c.highHz ? 1 : 0;
    }
    ASSERT_EQ(average.size(), inRange);
    for (const ResponsePoint& point : average) {
      EXPECT_GE(point.hz, c.lowHz);
      EXPECT_LE(point.hz, c.highHz);
      EXPECT_NEAR(point.db, c.expectedDb(point.hz), 1e-9) << point.hz << " Hz";
    }
  }
}

}  // namespace
