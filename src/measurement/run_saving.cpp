#include "measurement/run_saving.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "analysis/response_average.h"
#include "correction/correction_design.h"
#include "correction/correction_exports.h"
#include "report/run_files.h"

namespace {

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  (void)localtime_r(&now, &local);
  char text[32];
  (void)std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// The band table on the fine response's scale: the table's levels are
// relative to its loudest reliable band, so they are moved to where the
// fine response lies in that band, and the two can be read together.
std::vector<BandStep> BandSteps(const BandLevels& levels, const BandPlan& plan,
                                const FineResponse& fine) {
  double offset = 0.0;
  if (levels.referenceBand >= 0) {
    const auto ref = static_cast<std::size_t>(levels.referenceBand);
    double power = 0.0;
    int points = 0;
    for (const ResponsePoint& p : fine) {
      if (p.hz >= plan.low[ref] && p.hz <= plan.high[ref]) {
        power += std::pow(10.0, p.db / 10.0);
        ++points;
      }
    }
    offset = points > 0 ? 10.0 * std::log10(power / points) : 0.0;
  }
  std::vector<BandStep> steps;
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    const BandResult& band = levels.bands[k];
    if (!band.hasLevel) {
      continue;
    }
    steps.push_back({.lowHz = plan.low[k],
                     .highHz = plan.high[k],
                     .db = band.level + offset,
                     .unreliable = band.unresolved || band.aboveNyquist});
  }
  return steps;
}

std::string StemOf(int number) {
  char stem[24];
  (void)std::snprintf(stem, sizeof stem, "run-%03d", number);
  return stem;
}

// Designs the filters from the session's average (or its one run) and
// writes their three exports; the predicted curve goes on the plots.
SaveOutcome SaveCorrection(const std::filesystem::path& dir, const EqOptions& eq,
                           const FineResponse& measured, std::vector<PlotCurve>& curves) {
  const CorrectionDesign design = DesignCorrection(measured, {.lowHz = eq.lowHz,
                                                              .highHz = eq.highHz,
                                                              .tiltDbPerOctave = eq.tiltDbPerOctave,
                                                              .maxFilters = eq.filterCount,
                                                              .boostLimitDb = eq.boostDb});
  if (!design.error.empty()) {
    return {false, "No room correction was designed: " + design.error + "."};
  }
  const std::pair<const char*, std::string> files[] = {
      {kCamillaDspFileName, CamillaDspYaml(design)},
      {kEqualizerApoFileName, EqualizerApoText(design)},
      {kSimroomFileName, SimroomCorrection(design)}};
  for (const auto& [name, text] : files) {
    const SaveResult written = ReplaceFile(dir / name, text);
    if (!written.ok) {
      return {false, written.message};
    }
  }
  curves.push_back({"Predicted after correction", design.corrected, "#2ca02c", 1.6, true, 1.0});
  char summary[160];
  (void)std::snprintf(
      summary, sizeof summary, " Room correction: %zu %s, pre-gain %.1f dB, in %s, %s and %s.",
      design.filters.size(), design.filters.size() == 1 ? "filter" : "filters", design.preGainDb,
      kCamillaDspFileName, kEqualizerApoFileName, kSimroomFileName);
  return {true, summary};
}

}  // namespace

SaveOutcome SaveMeasurement(const RunOptions& options, SavedSession& session,
                            const Settings& settings, const BandPlan& plan, double endHz,
                            const RecordingAnalysis& analysis) {
  const std::filesystem::path dir = options.saveDir;
  RunRecord record{.facts = {.dateTime = Now(),
                             .deviceName = settings.deviceName.data(),
                             .qFactor = settings.qFactor,
                             .bandCount = settings.bandCount,
                             .startHz = settings.startHz,
                             .endHz = endHz,
                             .sweepSeconds = settings.sweepSeconds,
                             .flightSamples = analysis.timeOfFlight,
                             .calibrationFile = options.micCalibrationFile},
                   .response = analysis.fine,
                   .bands = BandSteps(analysis.levels, plan, analysis.fine),
                   .impulse = analysis.impulse,
                   .extraCurves = {}};

  // The correction is designed before the run's plot is drawn, so that the
  // plot can show what it predicts.
  std::vector<NamedResponse> runs = session.runs;
  runs.push_back({"this run", analysis.fine});
  std::vector<PlotCurve> predicted;
  SaveOutcome correction{true, ""};
  const SaveResult folder = EnsureFolder(dir, FolderCreation::kAllParents);
  if (!folder.ok) {
    return {false, folder.message};
  }
  if (options.eq.enabled) {
    std::vector<FineResponse> responses;
    for (const NamedResponse& run : runs) {
      responses.push_back(run.points);
    }
    correction = SaveCorrection(
        dir, options.eq, responses.size() > 1 ? AveragePower(responses) : analysis.fine, predicted);
  }
  if (runs.size() == 1) {
    record.extraCurves = predicted;
  }
  const SavedRun saved = SaveRun(dir, FolderCreation::kAllParents, record);
  if (!saved.result.ok) {
    return {false, saved.result.message};
  }
  runs.back().name = StemOf(saved.number);
  session.runs = runs;
  const SavedAverage average = SaveAverage(dir, session.runs, predicted);
  if (!average.result.ok) {
    return {false, average.result.message};
  }
  std::string message = "Saved " + StemOf(saved.number) + ".frd, " + StemOf(saved.number) +
                        "-ir.wav and " + StemOf(saved.number) + ".svg in " + dir.string();
  if (average.runCount > 1) {
    message += ", with average.frd and average.svg of the " + std::to_string(average.runCount) +
               " runs saved since the program started";
  }
  message += ".";
  if (!correction.ok) {
    return {false, message + " " + correction.message};
  }
  return {true, message + correction.message};
}
