#include "measurement/run_saving.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "correction/correction_design.h"
#include "correction/correction_exports.h"
#include "files/results_file.h"
#include "files/run_files.h"
#include "measurement/saved_files.h"
#include "report/band_report.h"
#include "report/run_texts.h"

namespace {

constexpr const char* kResultsFile = "sweep_out.txt";

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

RunRecord RecordOf(const MeasurementSetup& setup, const ChannelResult& microphone) {
  return {.facts = {.dateTime = Now(),
                    .deviceName = setup.deviceName,
                    .qFactor = setup.qFactor,
                    .bandCount = setup.bandCount,
                    .startHz = setup.stimulus.startHz,
                    .endHz = setup.stimulus.endHz,
                    .sweepSeconds = setup.stimulus.seconds,
                    .flightSamples = microphone.timeOfFlight,
                    .calibrationFile = setup.calibrations.microphoneFile,
                    .rate = static_cast<int>(setup.rate)},
          .response = microphone.fine,
          .bands = BandSteps(microphone.levels, setup.plan, microphone.fine),
          .impulse = microphone.impulse,
          .extraCurves = {}};
}

// What the save folder received, or the first thing that failed.
struct SaveOutcome {
  bool ok = true;
  std::string message;
};

// Designs the filters from what the session measured and writes their three
// exports; the predicted curve goes on the plots.
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
    if (auto written = PlaceText(dir / name, Placing::kReplace, text); !written) {
      return {false, DescribeFileError(written.error())};
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

std::string SavedText(const SavedRun& saved, const std::filesystem::path& dir,
                      const SessionResponses& session) {
  std::string message = "Saved " + saved.stem + ".frd, " + saved.stem + "-ir.wav and " +
                        saved.stem + ".svg in " + dir.string();
  if (session.size() > 1) {
    message += ", with average.frd and average.svg of the " + std::to_string(session.size()) +
               " runs saved since the program started";
  }
  return message + ".";
}

// The run's files, the session's average and the correction. A first run's
// plot shows what the correction predicts; later runs' predictions go on the
// average's plot.
SaveOutcome SaveToFolder(const std::filesystem::path& dir, RunRecord run, const EqOptions& eq,
                         SessionResponses& session) {
  std::vector<PlotCurve> predicted;
  SaveOutcome correction{true, ""};
  const bool firstRun = session.size() == 0;
  if (eq.enabled && firstRun) {
    correction = SaveCorrection(dir, eq, run.response, predicted);
    run.extraCurves = predicted;
  }
  const auto saved = SaveRunFiles(dir, run);
  if (!saved) {
    return {false, DescribeFileError(saved.error())};
  }
  session.Add(saved->stem, run.response);
  if (eq.enabled && !firstRun) {
    correction = SaveCorrection(dir, eq, session.average(), predicted);
  }
  if (auto average = SaveAverageFiles(dir, session, predicted); !average) {
    return {false, DescribeFileError(average.error())};
  }
  const std::string message = SavedText(*saved, dir, session);
  if (!correction.ok) {
    return {false, message + " " + correction.message};
  }
  return {true, message + correction.message};
}

}  // namespace

void KeepRun(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result,
             const RunOptions& options, SessionResponses& session) {
  if (const auto fault = result.Fault()) {
    WarnNotKept(io, kResultsFile, *fault);
    return;
  }
  const ChannelResult& microphone = result.Microphone();
  if (auto appended = AppendResults(kResultsFile, WriteReport(microphone.levels, setup.plan));
      !appended) {
    WarnResultsNotSaved(io, appended.error());
  }
  if (options.saveDir.empty() || result.nothingSwept) {
    return;
  }
  const SaveOutcome saved =
      SaveToFolder(options.saveDir, RecordOf(setup, microphone), options.eq, session);
  ReportSaved(io, saved.ok, saved.message);
}
