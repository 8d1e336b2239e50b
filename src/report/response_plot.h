#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/response_point.h"
#include "report/run_facts.h"

// A response drawn as a line, with its name in the legend. A point whose
// level is NaN (not measured there) breaks the line.
struct PlotCurve {
  std::string name;
  FineResponse points;
  std::string colour = "#1f5fa8";  // any SVG colour
  double width = 2.0;              // in pixels
  bool dashed = false;
  double opacity = 1.0;
};

struct ResponsePlot {
  std::string title;              // first line, large: what and when
  std::string subtitle;           // second line: device, settings, distance
  std::vector<PlotCurve> curves;  // drawn in this order, the last on top
  std::vector<BandStep> bands;    // drawn beneath the curves; bands without a level are skipped
  std::string levelAxis = "Level (dB)";
};

inline constexpr int kPlotWidth = 1000;
inline constexpr int kPlotHeight = 640;

// The plot as a complete SVG document of kPlotWidth x kPlotHeight pixels:
// level in dB over a logarithmic frequency axis, with grid, legend and title.
// All text is escaped, so any device or file name is safe in it.
std::string RenderResponseSvg(const ResponsePlot& plot);

// text with &, <, >, " and ' replaced by XML entities.
std::string EscapeXml(std::string_view text);
