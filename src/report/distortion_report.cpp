#include "report/distortion_report.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "report/run_plots.h"
#include "text/c_number.h"

namespace {

constexpr const char* kFundamentalColour = "#1f5fa8";
// H2..H5: red, green, orange, purple, told apart by colour and by width.
constexpr const char* kHarmonicColours[kHarmonicCount] = {"#d62728", "#2ca02c", "#ff7f0e",
                                                          "#9467bd"};
constexpr const char* kHarmonicNames[kHarmonicCount] = {"2nd harmonic", "3rd harmonic",
                                                        "4th harmonic", "5th harmonic"};

std::string Field(const std::optional<double>& value, int decimals) {
  return value ? FixedCNumber(*value, decimals) : std::string();
}

// Two significant digits or more: 12 %, 1.2 %, 0.35 %, 0.012 %.
std::string Percent(double percent) {
  const int decimals = percent >= 10.0 ? 0 : percent >= 1.0 ? 1 : percent >= 0.1 ? 2 : 3;
  return FixedCNumber(percent, decimals);
}

}  // namespace

const DistortionPoint* PointAt(const HarmonicDistortion& distortion, double hz) {
  const DistortionPoint* nearest = nullptr;
  double distance = std::numeric_limits<double>::infinity();
  for (const DistortionPoint& point : distortion.points) {
    const double octaves = std::fabs(std::log2(point.hz / hz));
    if (octaves < distance) {
      distance = octaves;
      nearest = &point;
    }
  }
  return distance <= 1.0 / 48.0 + 1e-9 ? nearest : nullptr;
}

std::string DistortionCsv(const HarmonicDistortion& distortion) {
  std::string text(kDistortionCsvHeader);
  text += '\n';
  for (const DistortionPoint& point : distortion.points) {
    text += FixedCNumber(point.hz, 3);
    text += ',';
    text += FixedCNumber(point.fundamentalDb, 2);
    for (const std::optional<double>& harmonic : point.harmonicDb) {
      text += ',';
      text += Field(harmonic, 2);
    }
    text += ',';
    text += Field(point.thdPercent, 4);
    text += '\n';
  }
  return text;
}

ResponsePlot DistortionPlot(int number, const RunFacts& facts,
                            const HarmonicDistortion& distortion) {
  char title[128];
  std::snprintf(title, sizeof title, "Run %03d \u2014 harmonic distortion \u2014 %s", number,
                facts.dateTime.c_str());
  ResponsePlot plot{title, distortion.Measured() ? RunSubtitle(facts) : distortion.refusal, {}, {}};
  PlotCurve fundamental{"Fundamental", {}, kFundamentalColour, 2.4, false, 1.0};
  for (const DistortionPoint& point : distortion.points) {
    fundamental.points.push_back({point.hz, point.fundamentalDb, 0.0});
  }
  plot.curves.push_back(fundamental);
  for (std::size_t h = 0; h < kHarmonicCount; ++h) {
    PlotCurve curve{kHarmonicNames[h], {}, kHarmonicColours[h], h < 2 ? 1.8 : 1.3, false, 1.0};
    bool any = false;
    for (const DistortionPoint& point : distortion.points) {
      const std::optional<double>& relative = point.harmonicDb[h];
      any = any || relative.has_value();
      curve.points.push_back(
          {point.hz,
           relative ? point.fundamentalDb + *relative : std::numeric_limits<double>::quiet_NaN(),
           0.0});
    }
    if (any) {
      plot.curves.push_back(curve);
    }
  }
  return plot;
}

std::string DistortionSummary(const HarmonicDistortion& distortion) {
  if (!distortion.Measured()) {
    return "Distortion not measured. " + distortion.refusal + "\n";
  }
  struct Place {
    double hz;
    const char* name;
  };
  std::string parts;
  for (const Place& place :
       {Place{100.0, "100 Hz"}, Place{1000.0, "1 kHz"}, Place{10000.0, "10 kHz"}}) {
    const DistortionPoint* point = PointAt(distortion, place.hz);
    if (point == nullptr || !point->thdPercent) {
      continue;
    }
    std::string part = std::string(place.name) + " THD " + Percent(*point->thdPercent) + " %";
    std::string harmonics;
    for (const int k : {2, 3}) {
      if (const std::optional<double>& db = point->Harmonic(k)) {
        harmonics += (harmonics.empty() ? "H" : ", H") + std::to_string(k) + " " +
                     FixedCNumber(*db, 1) + " dB";
      }
    }
    if (!harmonics.empty()) {
      part += " (" + harmonics + ")";
    }
    parts += (parts.empty() ? "" : "; ") + part;
  }
  if (parts.empty()) {
    return "Distortion: no harmonic measured at 100 Hz, 1 kHz or 10 kHz (below the noise, or "
           "beyond the sweep).\n";
  }
  return "Distortion: " + parts + ".\n";
}
