#include "report/acoustics_plots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <tuple>
#include <vector>

#include "report/plot_axes.h"
#include "report/response_plot.h"
#include "text/text_format.h"

namespace {

constexpr double kLeft = 74.0;
constexpr double kRight = kPlotWidth - 26.0;
constexpr double kTop = 78.0;
constexpr double kBelowAxis = 58.0;
constexpr double kLegendRowHeight = 22.0;
constexpr const char* kFont = "DejaVu Sans, Helvetica, Arial, sans-serif";
constexpr const char* kEnergyTimeColour = "#8a8a8a";

// One colour per octave, 63 Hz to 8 kHz, from warm to cool.
constexpr std::array<double, 8> kOctaveHz{63, 125, 250, 500, 1000, 2000, 4000, 8000};
constexpr std::array<const char*, 8> kOctaveColours{"#8c1d18", "#d1495b", "#e07b00", "#b59a00",
                                                    "#3a9d23", "#1f9e89", "#1f5fa8", "#6a3d9a"};

void Open(std::string& svg, std::string_view title, std::string_view subtitle) {
  AppendFormat(
      svg,
      R"~(<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" font-family="%s">)~",
      kPlotWidth, kPlotHeight, kPlotWidth, kPlotHeight, kFont);
  svg += "\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  AppendFormat(svg, R"~(<text x="%.2f" y="32" font-size="19" font-weight="bold" fill="#111">)~",
               kLeft);
  svg += EscapeXml(title) + "</text>\n";
  AppendFormat(svg, R"~(<text x="%.2f" y="56" font-size="13" fill="#444">)~", kLeft);
  svg += EscapeXml(subtitle) + "</text>\n";
}

void Line(std::string& svg, double x1, double y1, double x2, double y2, const char* colour,
          double width = 1.0) {
  AppendFormat(
      svg, R"~(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="%.1f"/>)~",
      x1, y1, x2, y2, colour, width);
  svg += '\n';
}

void Text(std::string& svg, double x, double y, const char* anchor, std::string_view text,
          const char* extra = "") {
  AppendFormat(svg, R"~(<text x="%.2f" y="%.2f" text-anchor="%s"%s>)~", x, y, anchor, extra);
  svg += EscapeXml(text) + "</text>\n";
}

void AxisTitles(std::string& svg, double centreX, double belowY, double centreY,
                std::string_view xTitle) {
  Text(svg, centreX, belowY, "middle", xTitle, R"~( font-size="13" fill="#333")~");
  AppendFormat(
      svg,
      R"~(<text x="20" y="%.2f" text-anchor="middle" font-size="13" fill="#333" transform="rotate(-90 20 %.2f)">Level (dB)</text>)~",
      centreY, centreY);
  svg += '\n';
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// ---- The decay plot ----

struct DecayEntry {
  std::string name;
  std::string colour;
  bool dashed = false;
  double width = 2.0;
};

struct DecayFrame {
  TimeAxis time;
  DbAxis db;
  double bottom = 0.0;
  [[nodiscard]] double X(double seconds) const {
    return kLeft + (kRight - kLeft) * (seconds - time.fromS) / (time.toS - time.fromS);
  }
  [[nodiscard]] double Y(double level) const {
    return kTop + (bottom - kTop) * (db.topDb - level) / (db.topDb - db.bottomDb);
  }
};

// The legend's words for a band: "125 Hz: T30 0.52 s", with the value's flags.
std::string BandLabel(const BandAcoustics& band) {
  char name[32];
  std::snprintf(name, sizeof name, band.nominalHz >= 1000.0 ? "%g kHz" : "%g Hz",
                band.nominalHz >= 1000.0 ? band.nominalHz / 1000.0 : band.nominalHz);
  const bool useT30 = band.t30.value.has_value();
  const AcousticValue& value = useT30 ? band.t30 : band.t20;
  std::string label = name;
  if (!value.value) {
    return label + ": no decay";
  }
  label += std::string(useT30 ? ": T30 " : ": T20 ") + Seconds(*value.value);
  std::string flags;
  for (const auto& [flag, word] : {std::pair{kFlagRange, "range"}, std::pair{kFlagFit, "fit"},
                                   std::pair{kFlagFilter, "filter"}}) {
    if ((value.flags & flag) != 0U) {
      flags += flags.empty() ? word : std::string(", ") + word;
    }
  }
  return flags.empty() ? label : label + " (" + flags + ")";
}

double LegendWidth(const DecayEntry& entry) {
  return 40.0 + 6.6 * static_cast<double>(entry.name.size()) + 24.0;
}

int LegendRows(const std::vector<DecayEntry>& entries) {
  int rows = entries.empty() ? 0 : 1;
  double x = kLeft;
  for (const DecayEntry& entry : entries) {
    if (x + LegendWidth(entry) > kRight && x > kLeft) {
      ++rows;
      x = kLeft;
    }
    x += LegendWidth(entry);
  }
  return rows;
}

void DrawLegend(std::string& svg, const std::vector<DecayEntry>& entries, double top) {
  double x = kLeft;
  double y = top;
  svg += "<g class=\"legend\" font-size=\"12\" fill=\"#222\">\n";
  for (const DecayEntry& entry : entries) {
    if (x + LegendWidth(entry) > kRight && x > kLeft) {
      x = kLeft;
      y += kLegendRowHeight;
    }
    AppendFormat(
        svg,
        R"~(<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="%.1f"%s/>)~", x,
        y, x + 32.0, y, entry.colour.c_str(), entry.width,
        entry.dashed ? R"~( stroke-dasharray="6 4")~" : "");
    Text(svg, x + 40.0, y, "start", entry.name, R"~( dominant-baseline="central")~");
    x += LegendWidth(entry);
  }
  svg += "</g>\n";
}

void DrawPath(std::string& svg, const DecayFrame& frame, const SampledCurve& curve,
              const char* colour, double width, double opacity) {
  std::string path;
  for (std::size_t k = 0; k < curve.db.size(); ++k) {
    const double t = curve.firstS + static_cast<double>(k) * curve.stepS;
    if (t > frame.time.toS) {
      break;
    }
    const double level = std::max(static_cast<double>(curve.db[k]), frame.db.bottomDb - 20.0);
    AppendFormat(path, "%s%.2f,%.2f", path.empty() ? "M" : " L", frame.X(t), frame.Y(level));
  }
  if (path.empty()) {
    return;
  }
  AppendFormat(
      svg,
      R"~(<path clip-path="url(#plot-area)" fill="none" stroke="%s" stroke-width="%.1f" stroke-opacity="%.2f" stroke-linejoin="round" d=")~",
      colour, width, opacity);
  svg += path + "\"/>\n";
}

// The bands a decay plot shows: octave bands, or the octave-centred ones of
// a third-octave analysis, with their colours.
using BandColours = std::vector<std::pair<std::size_t, const char*>>;

BandColours PlottedBands(const RoomAcoustics& room) {
  BandColours plotted;
  for (std::size_t b = 0; b < room.bands.size() && b < room.decays.size(); ++b) {
    for (std::size_t o = 0; o < kOctaveHz.size(); ++o) {
      if (room.bands[b].nominalHz == kOctaveHz[o]) {
        plotted.emplace_back(b, kOctaveColours[o]);
      }
    }
  }
  return plotted;
}

std::vector<DecayEntry> DecayLegend(const RoomAcoustics& room, const BandColours& plotted) {
  std::vector<DecayEntry> legend{{"Energy-time curve (broadband)", kEnergyTimeColour, false, 1.0}};
  bool anyLine = false;
  for (const auto& [b, colour] : plotted) {
    legend.push_back({BandLabel(room.bands[b]), colour, false, 2.0});
    anyLine = anyLine || room.decays[b].t30 || room.decays[b].t20;
  }
  if (anyLine) {
    legend.push_back({"Fitted T30 (T20) line", "#333333", true, 1.5});
  }
  return legend;
}

// Axes that hold the plotted curves, above a legend of legendRows.
DecayFrame DecayFrameFor(const RoomAcoustics& room, const BandColours& plotted, int legendRows) {
  double endS = 0.0;
  double lowestDb = -40.0;
  for (const auto& [b, colour] : plotted) {
    const SampledCurve& curve = room.decays[b].schroeder;
    if (!curve.db.empty()) {
      endS = std::max(endS, curve.firstS + static_cast<double>(curve.db.size() - 1) * curve.stepS);
      lowestDb = std::min(lowestDb, static_cast<double>(curve.db.back()));
    }
  }
  if (!(endS > 0.0)) {
    const SampledCurve& etc = room.energyTime;
    endS = etc.firstS + static_cast<double>(etc.db.size()) * etc.stepS;
  }
  DecayFrame frame;
  frame.time = TimeAxisFor(std::min(room.energyTime.firstS, 0.0), std::max(1.1 * endS, 0.05));
  frame.db = DbAxisFor(std::max(lowestDb, -90.0), 0.0);
  frame.bottom = kPlotHeight - kBelowAxis - legendRows * kLegendRowHeight - 8.0;
  return frame;
}

// The plot area's clip path, its grid lines with their labels and the axis
// titles.
void DrawDecayGrid(std::string& svg, const DecayFrame& frame) {
  AppendFormat(
      svg,
      R"~(<defs><clipPath id="plot-area"><rect x="%.2f" y="%.2f" width="%.2f" height="%.2f"/></clipPath></defs>)~",
      kLeft, kTop, kRight - kLeft, frame.bottom - kTop);
  svg += "\n<g class=\"grid\" font-size=\"12\" fill=\"#333\">\n";
  for (const GridLine& line : TimeGrid(frame.time)) {
    const double x = frame.X(line.value);
    Line(svg, x, kTop, x, frame.bottom, line.major ? "#8a8a8a" : "#d4d4d4");
    Text(svg, x, frame.bottom + 18.0, "middle", line.label);
  }
  for (const GridLine& line : DbGrid(frame.db)) {
    const double y = frame.Y(line.value);
    Line(svg, kLeft, y, kRight, y, line.major ? "#8a8a8a" : "#d4d4d4");
    Text(svg, kLeft - 8.0, y, "end", line.label, R"~( dominant-baseline="central")~");
  }
  svg += "</g>\n";
  AxisTitles(svg, (kLeft + kRight) / 2.0, frame.bottom + 40.0, (kTop + frame.bottom) / 2.0,
             frame.time.inSeconds ? "Time after the start (s)" : "Time after the start (ms)");
}

// The fitted lines over the stretch they were fitted to, dashed on a white
// underlay so that they stand out on their curve.
void DrawFittedLines(std::string& svg, const DecayFrame& frame, const RoomAcoustics& room,
                     const BandColours& plotted) {
  for (const auto& [b, colour] : plotted) {
    const std::optional<DecayLine>& line =
        room.decays[b].t30 ? room.decays[b].t30 : room.decays[b].t20;
    if (!line) {
      continue;
    }
    for (const auto& [stroke, width, dashes] :
         {std::tuple{"white", 4.0, ""}, std::tuple{colour, 2.0, R"~( stroke-dasharray="7 4")~"}}) {
      AppendFormat(
          svg,
          R"~(<line clip-path="url(#plot-area)" x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="%.1f"%s/>)~",
          frame.X(line->fromS), frame.Y(line->fromDb), frame.X(line->toS), frame.Y(line->toDb),
          stroke, width, dashes);
      svg += '\n';
    }
  }
}

// ---- The waterfall ----

// From dark blue (the first slice) over teal to sand (the last).
std::string SliceColour(double fraction) {
  constexpr std::array<std::array<double, 3>, 3> kStops{
      {{31, 59, 140}, {42, 157, 143}, {233, 196, 106}}};
  const double position = std::clamp(fraction, 0.0, 1.0) * 2.0;
  const auto index = std::min<std::size_t>(1, static_cast<std::size_t>(position));
  const double mix = position - static_cast<double>(index);
  char text[16];
  std::snprintf(
      text, sizeof text, "#%02x%02x%02x",
      static_cast<int>(std::lround(kStops[index][0] * (1 - mix) + kStops[index + 1][0] * mix)),
      static_cast<int>(std::lround(kStops[index][1] * (1 - mix) + kStops[index + 1][1] * mix)),
      static_cast<int>(std::lround(kStops[index][2] * (1 - mix) + kStops[index + 1][2] * mix)));
  return text;
}

constexpr double kWaterfallFloorDb = -40.0;
constexpr double kWaterfallCeilingDb = 3.0;
constexpr double kLabelRoom = 64.0;  // right of the last slice: the time labels

// The front slice's axes and how far each later slice is shifted.
struct WaterfallFrame {
  double bottom = 0.0;
  double frontRight = 0.0;
  double frontTop = 0.0;
  double stepX = 0.0;
  double stepY = 0.0;
  FrequencyAxis axis;
  [[nodiscard]] double X(double hz) const {
    return kLeft +
           (frontRight - kLeft) * std::log(hz / axis.lowHz) / std::log(axis.highHz / axis.lowHz);
  }
  [[nodiscard]] double Y(double level) const {
    return bottom -
           (bottom - frontTop) *
               (std::clamp(level, kWaterfallFloorDb, kWaterfallCeilingDb) - kWaterfallFloorDb) /
               (0.0 - kWaterfallFloorDb);
  }
};

WaterfallFrame WaterfallFrameFor(const SpectralDecay& decay) {
  WaterfallFrame frame;
  frame.bottom = kPlotHeight - kBelowAxis;
  const double depthX = 0.30 * (kRight - kLeft);
  const double depthY = 0.45 * (frame.bottom - kTop);
  frame.frontRight = kRight - kLabelRoom - depthX;
  frame.frontTop = kTop + depthY;
  const std::size_t slices = decay.slicesDb.size();
  frame.stepX = slices > 1 ? depthX / static_cast<double>(slices - 1) : 0.0;
  frame.stepY = slices > 1 ? depthY / static_cast<double>(slices - 1) : 0.0;
  frame.axis = FrequencyAxis{decay.hz.front(), decay.hz.back()};
  return frame;
}

// The front slice's frame: frequency lines and dB lines, beneath the slices.
void DrawWaterfallGrid(std::string& svg, const WaterfallFrame& frame) {
  svg += "<g class=\"grid\" font-size=\"12\" fill=\"#333\">\n";
  for (const GridLine& line : FrequencyGrid(frame.axis)) {
    const double at = frame.X(line.value);
    Line(svg, at, frame.Y(0.0), at, frame.bottom, line.label.empty() ? "#ececec" : "#d4d4d4");
    if (!line.label.empty()) {
      Text(svg, at, frame.bottom + 18.0, "middle", line.label);
    }
  }
  for (int step = 0; step <= static_cast<int>(-kWaterfallFloorDb / 10.0); ++step) {
    const double level = kWaterfallFloorDb + 10.0 * step;
    Line(svg, kLeft, frame.Y(level), frame.frontRight, frame.Y(level),
         level == 0.0 ? "#b4b4b4" : "#ececec");
    char label[16];
    std::snprintf(label, sizeof label, "%g", level);
    Text(svg, kLeft - 8.0, frame.Y(level), "end", label, R"~( dominant-baseline="central")~");
  }
  svg += "</g>\n";
  AxisTitles(svg, (kLeft + frame.frontRight) / 2.0, frame.bottom + 40.0,
             (frame.frontTop + frame.bottom) / 2.0, "Frequency (Hz)");
}

// Back to front, each slice filled white so that the earlier ones hide
// what lies behind them.
void DrawSlices(std::string& svg, const WaterfallFrame& frame, const SpectralDecay& decay) {
  const std::size_t slices = decay.slicesDb.size();
  for (std::size_t k = slices; k-- > 0;) {
    const double ox = static_cast<double>(k) * frame.stepX;
    const double oy = static_cast<double>(k) * frame.stepY;
    std::string path;
    AppendFormat(path, "M%.2f,%.2f", frame.X(decay.hz.front()) + ox,
                 frame.Y(kWaterfallFloorDb) - oy);
    for (std::size_t i = 0; i < decay.hz.size(); ++i) {
      AppendFormat(path, " L%.2f,%.2f", frame.X(decay.hz[i]) + ox,
                   frame.Y(decay.slicesDb[k][i]) - oy);
    }
    AppendFormat(path, " L%.2f,%.2f Z", frame.X(decay.hz.back()) + ox,
                 frame.Y(kWaterfallFloorDb) - oy);
    const double fraction =
        slices > 1 ? static_cast<double>(k) / static_cast<double>(slices - 1) : 0.0;
    AppendFormat(
        svg,
        R"~(<path fill="white" fill-opacity="0.92" stroke="%s" stroke-width="%.1f" stroke-linejoin="round" d="%s"/>)~",
        SliceColour(fraction).c_str(), k == 0 ? 2.0 : 1.3, path.c_str());
    svg += '\n';
  }
}

// The time of every few slices, at the right end of its floor.
void DrawSliceTimes(std::string& svg, const WaterfallFrame& frame, const SpectralDecay& decay) {
  const double spanS = decay.sliceStepS * static_cast<double>(decay.slicesDb.size() - 1);
  const double labelStepS = spanS > 0.3 ? 0.1 : 0.05;
  svg += "<g font-size=\"12\" fill=\"#333\">\n";
  for (int step = 0; step <= static_cast<int>(spanS / labelStepS + 1e-9); ++step) {
    const double t = labelStepS * step;
    const double k = t / decay.sliceStepS;
    const double endX = frame.frontRight + k * frame.stepX;
    const double endY = frame.bottom - k * frame.stepY;
    Line(svg, endX, endY, endX + 8.0, endY, "#555");
    char label[24];
    std::snprintf(label, sizeof label, "%.0f ms", t * 1000.0);
    Text(svg, endX + 11.0, endY, "start", label, R"~( dominant-baseline="central")~");
  }
  svg += "</g>\n";
}

}  // namespace

std::string RenderDecaySvg(const RoomAcoustics& room, std::string_view title,
                           std::string_view subtitle) {
  const BandColours plotted = PlottedBands(room);
  const std::vector<DecayEntry> legend = DecayLegend(room, plotted);
  const DecayFrame frame = DecayFrameFor(room, plotted, LegendRows(legend));

  std::string svg;
  Open(svg, title, subtitle);
  DrawDecayGrid(svg, frame);
  DrawPath(svg, frame, room.energyTime, kEnergyTimeColour, 1.0, 0.8);
  for (const auto& [b, colour] : plotted) {
    DrawPath(svg, frame, room.decays[b].schroeder, colour, 2.0, 1.0);
  }
  DrawFittedLines(svg, frame, room, plotted);
  AppendFormat(
      svg, R"~(<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" fill="none" stroke="#555"/>)~",
      kLeft, kTop, kRight - kLeft, frame.bottom - kTop);
  svg += '\n';
  DrawLegend(svg, legend, frame.bottom + kBelowAxis + 6.0);
  svg += "</svg>\n";
  return svg;
}

std::string RenderWaterfallSvg(const SpectralDecay& decay, std::string_view title,
                               std::string_view subtitle) {
  std::string svg;
  Open(svg, title, subtitle);
  if (decay.hz.size() < 2 || decay.slicesDb.empty()) {
    Text(svg, kPlotWidth / 2.0, kPlotHeight / 2.0, "middle",
         "No waterfall: the sweep did not cover the modal region (15-300 Hz).",
         R"~( font-size="15" fill="#555")~");
    svg += "</svg>\n";
    return svg;
  }
  const WaterfallFrame frame = WaterfallFrameFor(decay);
  DrawWaterfallGrid(svg, frame);
  DrawSlices(svg, frame, decay);
  DrawSliceTimes(svg, frame, decay);
  char caption[96];
  std::snprintf(
      caption, sizeof caption,
      "Each slice: the response from its time on, %.0f ms under a falling half-Hann window",
      decay.windowS * 1000.0);
  Text(svg, kRight, kPlotHeight - 12.0, "end", caption, R"~( font-size="11" fill="#666")~");
  svg += "</svg>\n";
  return svg;
}
