#include "report/run_plots.h"

#include <algorithm>
#include <cstdio>

#include "report/frd_file.h"

namespace {

constexpr const char* kMeasuredColour = "#1f5fa8";
constexpr const char* kAverageColour = "#111111";
// Muted colours for the single runs beneath their average.
constexpr const char* kRunColours[] = {"#4e79a7", "#f28e2b", "#59a14f", "#e15759",
                                       "#76b7b2", "#edc948", "#b07aa1", "#9c755f"};

}  // namespace

std::string RunSubtitle(const RunFacts& facts) {
  std::string subtitle =
      facts.deviceName + "  |  " + SettingsText(facts) + "  |  " + DistanceText(facts);
  if (!facts.calibrationFile.empty()) {
    subtitle += "  |  calibrated: " + facts.calibrationFile;
  }
  if (facts.splOffsetDb) {
    subtitle += "  |  dB SPL";
  }
  return subtitle;
}

std::string LevelAxis(const RunFacts& facts) {
  return facts.splOffsetDb ? "Level (dB SPL)" : "Level (dB)";
}

ResponsePlot RunPlot(int number, const RunRecord& run) {
  char title[96];
  std::snprintf(title, sizeof title, "Run %03d \u2014 %s%s", number, run.facts.dateTime.c_str(),
                run.facts.logSweep ? " \u2014 log sweep" : "");
  ResponsePlot plot{title, RunSubtitle(run.facts), {}, run.bands, LevelAxis(run.facts)};
  plot.curves.push_back({"Measured response", run.response, kMeasuredColour, 2.0, false, 1.0});
  plot.curves.insert(plot.curves.end(), run.extraCurves.begin(), run.extraCurves.end());
  return plot;
}

std::string RunList(const SessionResponses& session) {
  std::string list;
  for (const std::string& name : session.names()) {
    list += (list.empty() ? "" : ", ") + name;
  }
  return list;
}

std::string RangeText(const FineResponse& response) {
  if (response.empty()) {
    return "no frequencies";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.0f-%.0f Hz", response.front().hz, response.back().hz);
  return text;
}

bool RunRangesDiffer(const SessionResponses& session) {
  return std::ranges::any_of(session.responses(), [&](const FineResponse& response) {
    return RangeText(response) != RangeText(session.responses().front());
  });
}

std::string RunRanges(const SessionResponses& session) {
  std::string list;
  for (std::size_t i = 0; i < session.size(); ++i) {
    list += (i == 0 ? "" : ", ") + session.names()[i] + " " + RangeText(session.responses()[i]);
  }
  return list;
}

std::vector<std::string> AverageHeader(const SessionResponses& session, const RunFacts& facts) {
  std::string range = "over " + RangeText(session.average()) + ", where every run measured";
  if (RunRangesDiffer(session)) {
    range += " (" + RunRanges(session) + ")";
  }
  std::vector<std::string> header{std::string(kProgramAndVersion),
                                  "power average of " + RunList(session), range};
  if (facts.splOffsetDb) {
    header.push_back(SplText(facts));
  }
  header.emplace_back("frequency(Hz) dB phase(degrees, none: 0)");
  return header;
}

ResponsePlot AveragePlot(const SessionResponses& session, std::span<const PlotCurve> extraCurves,
                         const std::string& levelAxis) {
  ResponsePlot plot{"Power average of " + std::to_string(session.size()) + " runs",
                    RunList(session),
                    {},
                    {},
                    levelAxis};
  for (std::size_t i = 0; i < session.size(); ++i) {
    plot.curves.push_back({session.names()[i], session.responses()[i],
                           kRunColours[i % std::size(kRunColours)], 1.2, false, 0.75});
  }
  plot.curves.push_back({"Average", session.average(), kAverageColour, 3.0, false, 1.0});
  plot.curves.insert(plot.curves.end(), extraCurves.begin(), extraCurves.end());
  return plot;
}
