#include "report/save_run.h"

#include <cstdio>
#include <utility>

#include "analysis/response_average.h"
#include "report/frd_file.h"
#include "report/ir_wav.h"

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
  return subtitle;
}

ResponsePlot RunPlot(int number, const RunRecord& run) {
  char title[96];
  std::snprintf(title, sizeof title, "Run %03d \u2014 %s", number, run.facts.dateTime.c_str());
  ResponsePlot plot{title, RunSubtitle(run.facts), {}, run.bands};
  plot.curves.push_back({"Measured response", run.response, kMeasuredColour, 2.0, false, 1.0});
  plot.curves.insert(plot.curves.end(), run.extraCurves.begin(), run.extraCurves.end());
  return plot;
}

SavedRun SaveRun(const std::filesystem::path& dir, FolderCreation how, const RunRecord& run) {
  SavedRun saved;
  saved.result = EnsureFolder(dir, how);
  if (!saved.result.ok) {
    return saved;
  }
  ClaimedRun claim = ClaimRun(dir, {".frd", "-ir.wav", ".svg"});
  if (!claim.result.ok) {
    saved.result = claim.result;
    return saved;
  }
  saved.number = claim.number;
  saved.files = claim.paths;
  saved.result = WriteAll(std::move(claim.files[0]), claim.paths[0],
                          FormatFrd(RunHeader(run.facts), run.response));
  if (saved.result.ok) {
    saved.result = WriteIrWav(std::move(claim.files[1]), claim.paths[1], run.impulse);
  }
  if (saved.result.ok) {
    saved.result = WriteAll(std::move(claim.files[2]), claim.paths[2],
                            RenderResponseSvg(RunPlot(claim.number, run)));
  }
  return saved;
}

SavedAverage SaveAverage(const std::filesystem::path& dir, std::span<const NamedResponse> runs,
                         std::span<const PlotCurve> extraCurves) {
  SavedAverage saved;
  saved.runCount = static_cast<int>(runs.size());
  if (saved.runCount < 2) {
    return saved;
  }
  std::vector<FineResponse> responses;
  std::string runList;
  for (const NamedResponse& run : runs) {
    responses.push_back(run.points);
    runList += (runList.empty() ? "" : ", ") + run.name;
  }
  saved.average = AveragePower(responses);
  const std::vector<std::string> header{std::string(kProgramAndVersion),
                                        "power average of " + runList,
                                        "frequency(Hz) dB phase(degrees, none: 0)"};
  saved.result = ReplaceFile(dir / "average.frd", FormatFrd(header, saved.average));
  if (!saved.result.ok) {
    return saved;
  }
  ResponsePlot plot{
      "Power average of " + std::to_string(saved.runCount) + " runs", runList, {}, {}};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    plot.curves.push_back(
        {runs[i].name, runs[i].points, kRunColours[i % std::size(kRunColours)], 1.2, false, 0.75});
  }
  plot.curves.push_back({"Average", saved.average, kAverageColour, 3.0, false, 1.0});
  plot.curves.insert(plot.curves.end(), extraCurves.begin(), extraCurves.end());
  saved.result = ReplaceFile(dir / "average.svg", RenderResponseSvg(plot));
  return saved;
}
