#include "measurement/run_saving.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>

#include "correction/correction_design.h"
#include "correction/correction_exports.h"
#include "files/results_file.h"
#include "files/run_files.h"
#include "measurement/saved_files.h"
#include "report/acoustics_plots.h"
#include "report/acoustics_texts.h"
#include "report/band_report.h"
#include "report/distortion_report.h"
#include "report/run_json.h"
#include "report/run_plots.h"
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
                    .rate = static_cast<int>(setup.rate),
                    .logSweep = setup.stimulus.kind == SweepKind::kExponential,
                    .splOffsetDb = setup.calibrations.splOffsetDb,
                    .splFile = setup.calibrations.splFile},
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

// The run being kept, as analysed and as recorded.
struct KeptRun {
  const MeasurementSetup& setup;
  const RunResult& result;
  RunRecord record;
};

// The correction most recently designed, for the average's JSON.
struct DesignedCorrection {
  std::vector<JsonFilter> filters;
  double preGainDb = 0.0;
};

// Designs the filters from what the session measured and writes their three
// exports; the predicted curve goes on the plots.
SaveOutcome SaveCorrection(const std::filesystem::path& dir, const EqOptions& eq,
                           const FineResponse& measured, std::vector<PlotCurve>& curves,
                           DesignedCorrection& designed) {
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
  designed.filters.clear();
  for (const PeakingFilter& filter : design.filters) {
    designed.filters.push_back({filter.hz, filter.gainDb, filter.q});
  }
  designed.preGainDb = design.preGainDb;
  char summary[224];
  (void)std::snprintf(summary, sizeof summary,
                      " Room correction: %zu %s, pre-gain %.1f dB, largest peak left %+.1f dB at "
                      "%.0f Hz, in %s, %s and %s.",
                      design.filters.size(), design.filters.size() == 1 ? "filter" : "filters",
                      design.preGainDb, design.peakLeftDb, design.peakLeftHz, kCamillaDspFileName,
                      kEqualizerApoFileName, kSimroomFileName);
  return {true, summary};
}

std::string SavedText(std::span<const std::string> files, const std::filesystem::path& dir,
                      const SessionResponses& session) {
  std::string message = "Saved ";
  for (std::size_t i = 0; i < files.size(); ++i) {
    message += (i == 0 ? "" : i + 1 == files.size() ? " and " : ", ") + files[i];
  }
  message += " in " + dir.string();
  if (session.size() > 1) {
    message += std::string(", with average.frd, average.svg, ") +
               (session.acoustics().size() > 1 ? "average-acoustics.csv " : "") +
               "and average.json of the " + std::to_string(session.size()) +
               " runs saved since the program started";
  }
  return message + ".";
}

// The files of the analyses that ran beside the response (distortion ...),
// then the run's JSON, which names them all; files holds their names.
FileResult SaveAnalysisFiles(const std::filesystem::path& dir, const KeptRun& run,
                             const SavedRun& saved, std::vector<std::string>& files) {
  files = {saved.stem + ".frd", saved.stem + "-ir.wav", saved.stem + ".svg"};
  std::vector<std::pair<std::string, std::string>> texts;
  const ChannelResult& microphone = run.result.Microphone();
  if (microphone.distortion && !microphone.distortion->points.empty()) {
    texts.emplace_back(saved.stem + std::string(kDistortionCsvSuffix),
                       DistortionCsv(*microphone.distortion));
    texts.emplace_back(
        saved.stem + std::string(kDistortionSvgSuffix),
        RenderResponseSvg(DistortionPlot(saved.number, run.record.facts, *microphone.distortion)));
  }
  if (microphone.acoustics) {
    const std::string subtitle = RunSubtitle(run.record.facts);
    const std::string title = "Run " + saved.stem.substr(4) + " \u2014 ";
    texts.emplace_back(saved.stem + "-acoustics.csv", AcousticsCsv(microphone.acoustics->bands));
    texts.emplace_back(saved.stem + "-decay.svg",
                       RenderDecaySvg(*microphone.acoustics, title + "decay", subtitle));
    texts.emplace_back(saved.stem + "-waterfall.svg",
                       RenderWaterfallSvg(microphone.acoustics->waterfall,
                                          title + "cumulative spectral decay", subtitle));
  }
  for (const auto& [name, text] : texts) {
    if (auto written = PlaceText(dir / name, Placing::kNew, text); !written) {
      return written;
    }
    files.push_back(name);
  }
  files.push_back(saved.stem + ".json");
  return PlaceText(dir / files.back(), Placing::kNew,
                   RunJson({run.setup, run.result, run.record.facts, files}));
}

FileResult SaveAverage(const std::filesystem::path& dir, const SessionResponses& session,
                       std::span<const PlotCurve> predicted, const RunFacts& facts,
                       const DesignedCorrection& correction) {
  if (session.size() < 2) {
    return Done{};
  }
  if (auto files = SaveAverageFiles(dir, session, predicted, facts); !files) {
    return files;
  }
  std::vector<std::string> names{"average.frd", "average.svg"};
  if (session.acoustics().size() > 1) {
    names.emplace_back("average-acoustics.csv");
    if (auto csv = PlaceText(dir / names.back(), Placing::kReplace,
                             AverageAcousticsCsv(AverageAcoustics(session.acoustics())));
        !csv) {
      return csv;
    }
  }
  names.emplace_back("average.json");
  return PlaceText(dir / "average.json", Placing::kReplace,
                   AverageJson({session, facts, names, correction.filters, correction.preGainDb}));
}

// The run's files, the session's average and the correction. A first run's
// plot shows what the correction predicts; later runs' predictions go on the
// average's plot.
SaveOutcome SaveToFolder(const std::filesystem::path& dir, const KeptRun& kept, const EqOptions& eq,
                         SessionResponses& session) {
  std::vector<PlotCurve> predicted;
  DesignedCorrection designed;
  SaveOutcome correction{true, ""};
  const bool firstRun = session.size() == 0;
  RunRecord run = kept.record;
  if (eq.enabled && firstRun) {
    correction = SaveCorrection(dir, eq, run.response, predicted, designed);
    run.extraCurves = predicted;
  }
  const auto saved = SaveRunFiles(dir, run);
  if (!saved) {
    return {false, DescribeFileError(saved.error())};
  }
  std::vector<std::string> files;
  if (auto written = SaveAnalysisFiles(dir, kept, *saved, files); !written) {
    return {false, DescribeFileError(written.error())};
  }
  session.Add(saved->stem, run.response, kept.result.Microphone().acoustics);
  if (eq.enabled && !firstRun) {
    correction = SaveCorrection(dir, eq, session.average(), predicted, designed);
  }
  if (auto average = SaveAverage(dir, session, predicted, run.facts, designed); !average) {
    return {false, DescribeFileError(average.error())};
  }
  const std::string message = SavedText(files, dir, session);
  if (!correction.ok) {
    return {false, message + " " + correction.message};
  }
  return {true, message + correction.message};
}

}  // namespace

namespace {

// Appends the table and saves the files of a run that passed its checks.
void Keep(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result,
          const RunOptions& options, SessionResponses& session) {
  const ChannelResult& microphone = result.Microphone();
  if (auto appended = AppendResults(kResultsFile, WriteReport(microphone.levels, setup.plan));
      !appended) {
    WarnResultsNotSaved(io, appended.error());
  }
  if (options.saveDir.empty() || result.nothingSwept) {
    return;
  }
  // A response that could not be computed leaves no file: an empty one
  // would read as a measurement of silence, and would pull the average down.
  if (microphone.responseFailure) {
    WarnResponseNotSaved(io, options.saveDir);
    return;
  }
  const SaveOutcome saved = SaveToFolder(
      options.saveDir, {setup, result, RecordOf(setup, microphone)}, options.eq, session);
  ReportSaved(io, saved.ok, saved.message);
}

}  // namespace

bool KeepRun(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result,
             const RunOptions& options, SessionResponses& session) {
  if (const auto fault = result.Fault()) {
    WarnNotKept(io, kResultsFile, *fault);
    return false;
  }
  try {
    Keep(io, setup, result, options, session);
  } catch (const std::bad_alloc&) {
    ReportSaved(io, false,
                "there was not enough memory to save all of them. Close other programs and "
                "measure again.");
  }
  return true;
}
