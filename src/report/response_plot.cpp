// The SVG is written directly: the plot needs only lines and text, which SVG
// states in a few hundred bytes each, whereas Debian's C++ plotting libraries
// bring their own output drivers or a GUI toolkit into a headless program and
// give less control over how the plot looks.
#include "report/response_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "report/plot_axes.h"

namespace {

constexpr double kLeft = 74.0;
constexpr double kRight = kPlotWidth - 26.0;
constexpr double kTop = 78.0;
constexpr double kLegendRowHeight = 22.0;
constexpr double kBelowAxis = 58.0;  // tick labels and the axis name
// Bands whose level is at or below this had no usable samples at all.
constexpr double kNoBandLevelDb = -140.0;

constexpr const char* kFont = "DejaVu Sans, Helvetica, Arial, sans-serif";
constexpr const char* kBandColour = "#e07b00";
constexpr const char* kUnreliableColour = "#9a9a9a";

struct Frame {
  FrequencyAxis freq;
  DbAxis db;
  double bottom = 0.0;  // pixel row of the plot area's lower edge

  [[nodiscard]] double X(double hz) const {
    return kLeft +
           (kRight - kLeft) * std::log(hz / freq.lowHz) / std::log(freq.highHz / freq.lowHz);
  }
  [[nodiscard]] double Y(double dbValue) const {
    return kTop + (bottom - kTop) * (db.topDb - dbValue) / (db.topDb - db.bottomDb);
  }
};

struct LegendEntry {
  std::string name;
  std::string colour;
  double width;
  bool dashed;
  double opacity;
};

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

bool BandHasLevel(const BandStep& band) {
  return std::isfinite(band.db) && band.db > kNoBandLevelDb && band.lowHz > 0.0;
}

std::vector<LegendEntry> LegendOf(const ResponsePlot& plot) {
  std::vector<LegendEntry> entries;
  for (const PlotCurve& curve : plot.curves) {
    entries.push_back({curve.name, curve.colour, curve.width, curve.dashed, curve.opacity});
  }
  const auto shown = [&](bool unreliable) {
    return std::any_of(plot.bands.begin(), plot.bands.end(), [&](const BandStep& band) {
      return BandHasLevel(band) && band.unreliable == unreliable;
    });
  };
  if (shown(false)) {
    entries.push_back({"Band level", kBandColour, 3.0, false, 1.0});
  }
  if (shown(true)) {
    entries.push_back({"Unreliable band (too few cycles, left out of the 0 dB reference)",
                       kUnreliableColour, 3.0, true, 1.0});
  }
  return entries;
}

// A rough width of text at 12 px in the sans font, enough to lay out rows.
double LegendEntryWidth(const LegendEntry& entry) {
  return 40.0 + 6.6 * static_cast<double>(entry.name.size()) + 28.0;
}

int LegendRows(const std::vector<LegendEntry>& entries) {
  int rows = entries.empty() ? 0 : 1;
  double x = kLeft;
  for (const LegendEntry& entry : entries) {
    if (x + LegendEntryWidth(entry) > kRight && x > kLeft) {
      ++rows;
      x = kLeft;
    }
    x += LegendEntryWidth(entry);
  }
  return rows;
}

Frame FrameFor(const ResponsePlot& plot, int legendRows) {
  double lowHz = std::numeric_limits<double>::infinity();
  double highHz = 0.0;
  double lowDb = std::numeric_limits<double>::infinity();
  double highDb = -std::numeric_limits<double>::infinity();
  const auto take = [&](double hz, double db) {
    lowHz = std::min(lowHz, hz);
    highHz = std::max(highHz, hz);
    lowDb = std::min(lowDb, db);
    highDb = std::max(highDb, db);
  };
  for (const PlotCurve& curve : plot.curves) {
    for (const ResponsePoint& point : curve.points) {
      if (point.hz > 0.0 && std::isfinite(point.db)) {
        take(point.hz, point.db);
      }
    }
  }
  for (const BandStep& band : plot.bands) {
    if (BandHasLevel(band)) {
      take(band.lowHz, band.db);
      take(band.highHz, band.db);
    }
  }
  Frame frame;
  frame.freq = FrequencyAxisFor(lowHz, highHz);
  frame.db = DbAxisFor(lowDb, highDb);
  frame.bottom = kPlotHeight - kBelowAxis - legendRows * kLegendRowHeight - 8.0;
  return frame;
}

std::string StrokeStyle(const std::string& colour, double width, bool dashed, double opacity) {
  std::string style =
      Format(R"(fill="none" stroke="%s" stroke-width="%.1f")", EscapeXml(colour).c_str(), width);
  if (dashed) {
    style += Format(R"( stroke-dasharray="%.1f %.1f")", 3.0 * width, 2.0 * width);
  }
  if (opacity < 1.0) {
    style += Format(R"( stroke-opacity="%.2f")", opacity);
  }
  return style;
}

void DrawGrid(const Frame& frame, const std::string& levelAxis, std::string& svg) {
  svg += "<g class=\"grid\">\n";
  for (const GridLine& line : FrequencyGrid(frame.freq)) {
    const double x = frame.X(line.value);
    const char* colour = line.major ? "#b4b4b4" : line.label.empty() ? "#ececec" : "#d4d4d4";
    svg += Format(R"(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s"/>)", x, kTop, x,
                  frame.bottom, colour);
    svg += '\n';
    if (!line.label.empty()) {
      svg += Format(R"(<text class="hz" x="%.2f" y="%.2f" text-anchor="middle">%s</text>)", x,
                    frame.bottom + 18.0, line.label.c_str());
      svg += '\n';
    }
  }
  for (const GridLine& line : DbGrid(frame.db)) {
    const double y = frame.Y(line.value);
    svg += Format(R"(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s"/>)", kLeft, y,
                  kRight, y, line.major ? "#8a8a8a" : "#d4d4d4");
    svg += '\n';
    svg += Format(
        R"(<text class="db" x="%.2f" y="%.2f" text-anchor="end" dominant-baseline="central">%s</text>)",
        kLeft - 8.0, y, line.label.c_str());
    svg += '\n';
  }
  svg += "</g>\n";
  svg += Format(
      R"(<text x="%.2f" y="%.2f" text-anchor="middle" font-size="13" fill="#333">Frequency (Hz)</text>)",
      (kLeft + kRight) / 2.0, frame.bottom + 40.0);
  svg += '\n';
  svg += Format(
      R"~(<text x="%.2f" y="%.2f" text-anchor="middle" font-size="13" fill="#333" transform="rotate(-90 %.2f %.2f)">%s</text>)~",
      20.0, (kTop + frame.bottom) / 2.0, 20.0, (kTop + frame.bottom) / 2.0,
      EscapeXml(levelAxis).c_str());
  svg += '\n';
}

void DrawBands(const Frame& frame, const std::vector<BandStep>& bands, std::string& svg) {
  svg += "<g class=\"bands\" clip-path=\"url(#plot-area)\">\n";
  for (const BandStep& band : bands) {
    if (!BandHasLevel(band)) {
      continue;
    }
    const double y = frame.Y(band.db);
    svg += Format(R"(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" %s/>)", frame.X(band.lowHz), y,
                  frame.X(band.highHz), y,
                  band.unreliable ? StrokeStyle(kUnreliableColour, 3.0, true, 1.0).c_str()
                                  : StrokeStyle(kBandColour, 3.0, false, 0.85).c_str());
    svg += '\n';
  }
  svg += "</g>\n";
}

void DrawCurve(const Frame& frame, const PlotCurve& curve, std::size_t index, std::string& svg) {
  std::string path;
  bool broken = true;  // the next point starts a new stretch of line
  for (const ResponsePoint& point : curve.points) {
    if (!(point.hz > 0.0) || !std::isfinite(point.db)) {
      broken = broken || std::isnan(point.db);
      continue;
    }
    const char* move = broken ? " M" : " L";
    path += Format("%s%.2f,%.2f", path.empty() ? "M" : move, frame.X(point.hz), frame.Y(point.db));
    broken = false;
  }
  if (path.empty()) {
    return;
  }
  svg +=
      Format(R"~(<path id="curve-%zu" clip-path="url(#plot-area)" stroke-linejoin="round" %s d=")~",
             index, StrokeStyle(curve.colour, curve.width, curve.dashed, curve.opacity).c_str());
  svg += path;
  svg += "\"/>\n";
}

void DrawLegend(const Frame& frame, const std::vector<LegendEntry>& entries, std::string& svg) {
  double x = kLeft;
  double y = frame.bottom + kBelowAxis + 6.0;
  svg += "<g class=\"legend\" font-size=\"12\" fill=\"#222\">\n";
  for (const LegendEntry& entry : entries) {
    if (x + LegendEntryWidth(entry) > kRight && x > kLeft) {
      x = kLeft;
      y += kLegendRowHeight;
    }
    svg += Format(R"(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" %s/>)", x, y, x + 32.0, y,
                  StrokeStyle(entry.colour, entry.width, entry.dashed, entry.opacity).c_str());
    svg += Format(R"(<text x="%.2f" y="%.2f" dominant-baseline="central">)", x + 40.0, y);
    svg += EscapeXml(entry.name);
    svg += "</text>\n";
    x += LegendEntryWidth(entry);
  }
  svg += "</g>\n";
}

}  // namespace

std::string EscapeXml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 at all.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string RenderResponseSvg(const ResponsePlot& plot) {
  const std::vector<LegendEntry> legend = LegendOf(plot);
  const Frame frame = FrameFor(plot, LegendRows(legend));
  std::string svg = Format(
      R"(<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" font-family="%s">)",
      kPlotWidth, kPlotHeight, kPlotWidth, kPlotHeight, kFont);
  svg += "\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += Format(
      R"(<defs><clipPath id="plot-area"><rect x="%.2f" y="%.2f" width="%.2f" height="%.2f"/></clipPath></defs>)",
      kLeft, kTop, kRight - kLeft, frame.bottom - kTop);
  svg += '\n';
  svg += Format(R"(<text x="%.2f" y="32" font-size="19" font-weight="bold" fill="#111">)", kLeft);
  svg += EscapeXml(plot.title) + "</text>\n";
  svg += Format(R"(<text x="%.2f" y="56" font-size="13" fill="#444">)", kLeft);
  svg += EscapeXml(plot.subtitle) + "</text>\n";
  svg += "<g font-size=\"12\" fill=\"#333\">\n";
  DrawGrid(frame, plot.levelAxis, svg);
  svg += "</g>\n";
  DrawBands(frame, plot.bands, svg);
  for (std::size_t i = 0; i < plot.curves.size(); ++i) {
    DrawCurve(frame, plot.curves[i], i, svg);
  }
  svg += Format(R"(<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" fill="none" stroke="#555"/>)",
                kLeft, kTop, kRight - kLeft, frame.bottom - kTop);
  svg += '\n';
  DrawLegend(frame, legend, svg);
  svg += "</svg>\n";
  return svg;
}
