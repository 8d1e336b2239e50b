#include "measurement/run_saving.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <new>
#include <span>

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
          .impulseLead = microphone.impulseLead,
          .extraCurves = {}};
}

// The run being kept, as analysed and as recorded.
struct KeptRun {
  const MeasurementSetup& setup;
  const RunResult& result;
  RunRecord record;
};

constexpr const char* kCorrectionFiles[] = {kCamillaDspFileName, kEqualizerApoFileName,
                                            kSimroomFileName};

// Takes the files away where they are; the names of those that were there.
std::vector<std::string> RemoveFiles(const std::filesystem::path& dir,
                                     std::span<const char* const> names) {
  std::vector<std::string> removed;
  for (const char* name : names) {
    if (unlink((dir / name).c_str()) == 0) {
      removed.emplace_back(name);
    }
  }
  return removed;
}

// The request for --eq, its range brought inside the measured response when
// it reaches beyond it (the summary notes that); left as asked when the two
// do not overlap, which the design then refuses with the range to choose.
CorrectionRequest RequestFor(const EqOptions& eq, const FineResponse& measured,
                             SaveSummary& summary) {
  CorrectionRequest request{.lowHz = eq.lowHz,
                            .highHz = eq.highHz,
                            .tiltDbPerOctave = eq.tiltDbPerOctave,
                            .maxFilters = eq.filterCount,
                            .boostLimitDb = eq.boostDb};
  if (measured.empty()) {
    return request;
  }
  const double first = measured.front().hz;
  const double last = measured.back().hz;
  const double low = std::max(eq.lowHz, first);
  const double high = std::min(eq.highHz, last);
  if (low < high && (low != eq.lowHz || high != eq.highHz)) {
    request.lowHz = low;
    request.highHz = high;
    summary.clamp = EqRangeClamp{eq.lowHz, eq.highHz, first, last, low, high};
  }
  return request;
}

// Designs the filters from what the session measured and writes their three
// exports; the predicted curve goes on the plots. Without a design, or when
// the exports cannot all be written, no correction file is left: an earlier
// design's filters beside this session's average would be taken for its own.
void SaveCorrection(const std::filesystem::path& dir, const EqOptions& eq,
                    const FineResponse& measured, std::vector<PlotCurve>& curves,
                    SaveSummary& summary, std::vector<JsonFilter>& filters) {
  const CorrectionDesign design = DesignCorrection(measured, RequestFor(eq, measured, summary));
  if (!design.error.empty() || measured.empty()) {
    summary.noCorrection =
        measured.empty() ? "the runs share no frequencies to correct" : design.error;
    summary.removed = RemoveFiles(dir, kCorrectionFiles);
    filters.clear();
    return;
  }
  const std::string texts[] = {CamillaDspYaml(design), EqualizerApoText(design),
                               SimroomCorrection(design)};
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    if (auto written = PlaceText(dir / kCorrectionFiles[i], Placing::kReplace, texts[i]);
        !written) {
      summary.failure = summary.failure ? summary.failure : written.error();
      (void)RemoveFiles(dir, kCorrectionFiles);
      summary.notSaved.insert(summary.notSaved.end(), std::begin(kCorrectionFiles),
                              std::end(kCorrectionFiles));
      return;
    }
  }
  summary.correctionFiles.assign(std::begin(kCorrectionFiles), std::end(kCorrectionFiles));
  summary.correctionFilters = design.filters.size();
  summary.preGainDb = design.preGainDb;
  summary.peakLeftDb = design.peakLeftDb;
  summary.peakLeftHz = design.peakLeftHz;
  filters.clear();
  for (const PeakingFilter& filter : design.filters) {
    filters.push_back({filter.hz, filter.gainDb, filter.q});
  }
  curves.push_back({"Predicted after correction", design.corrected, "#2ca02c", 1.6, true, 1.0});
}

// Adds what a step did not write, when it failed, to the summary.
void NoteFailure(const WrittenFiles& written, const std::vector<std::string>& meant,
                 SaveSummary& summary) {
  if (written.failure) {
    summary.failure = summary.failure ? summary.failure : written.failure;
    summary.notSaved.insert(summary.notSaved.end(),
                            meant.begin() + static_cast<std::ptrdiff_t>(written.names.size()),
                            meant.end());
  }
}

// The texts of the analyses that ran beside the response (distortion,
// the room's decay), by file name, then the run's JSON, which names them all.
std::vector<std::pair<std::string, std::string>> AnalysisTexts(const KeptRun& run,
                                                               const SavedRun& saved) {
  std::vector<std::pair<std::string, std::string>> texts;
  const ChannelResult& microphone = run.result.Microphone();
  const RunFacts& facts = run.record.facts;
  if (microphone.distortion && !microphone.distortion->points.empty()) {
    texts.emplace_back(saved.stem + std::string(kDistortionCsvSuffix),
                       DistortionCsv(*microphone.distortion));
    texts.emplace_back(
        saved.stem + std::string(kDistortionSvgSuffix),
        RenderResponseSvg(DistortionPlot(saved.number, facts, *microphone.distortion)));
  }
  if (microphone.acoustics) {
    const std::string title = "Run " + saved.stem.substr(4) + " \u2014 ";
    texts.emplace_back(saved.stem + "-acoustics.csv", AcousticsCsv(microphone.acoustics->bands));
    texts.emplace_back(saved.stem + "-decay.svg",
                       RenderDecaySvg(*microphone.acoustics, title + "decay", RunSubtitle(facts)));
    texts.emplace_back(saved.stem + "-waterfall.svg",
                       RenderWaterfallSvg(microphone.acoustics->waterfall,
                                          title + "cumulative spectral decay", RunSubtitle(facts)));
  }
  std::vector<std::string> files = saved.files.names;
  for (const auto& text : texts) {
    files.push_back(text.first);
  }
  files.push_back(saved.stem + ".json");
  texts.emplace_back(files.back(), RunJson({run.setup, run.result, run.record.facts, files}));
  return texts;
}

// Writes the analyses' files and the JSON beside the run's own.
void SaveAnalysisFiles(const std::filesystem::path& dir, const KeptRun& run, const SavedRun& saved,
                       SaveSummary& summary) {
  const auto texts = AnalysisTexts(run, saved);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (auto written = PlaceText(dir / texts[i].first, Placing::kNew, texts[i].second); !written) {
      summary.failure = summary.failure ? summary.failure : written.error();
      for (std::size_t k = i; k < texts.size(); ++k) {
        summary.notSaved.push_back(texts[k].first);
      }
      return;
    }
    summary.saved.push_back(texts[i].first);
  }
}

// The run's files, the session's average and the correction. A first run's
// plot shows what the correction predicts; later runs' predictions go on the
// average's plot. A run whose files were not all written joins no average.
SaveSummary SaveToFolder(const std::filesystem::path& dir, const KeptRun& kept, const EqOptions& eq,
                         SessionResponses& session) {
  SaveSummary summary;
  summary.dir = dir;
  summary.session = &session;
  std::vector<PlotCurve> predicted;
  std::vector<JsonFilter> filters;
  const bool firstRun = session.size() == 0;
  RunRecord run = kept.record;
  if (eq.enabled && firstRun) {
    SaveCorrection(dir, eq, run.response, predicted, summary, filters);
    run.extraCurves = predicted;
  }
  const SavedRun saved = SaveRunFiles(dir, run);
  summary.saved = saved.files.names;
  NoteFailure(saved.files,
              saved.stem.empty() ? std::vector<std::string>{} : RunFileNames(saved.stem), summary);
  if (saved.files.failure) {
    return summary;
  }
  SaveAnalysisFiles(dir, kept, saved, summary);
  session.Add(saved.stem, run.response, kept.result.Microphone().acoustics);
  if (eq.enabled && !firstRun) {
    SaveCorrection(dir, eq, session.average(), predicted, summary, filters);
  }
  if (session.size() > 1 && session.average().empty()) {
    const char* const average[] = {"average.frd", "average.svg", "average-acoustics.csv",
                                   "average.json"};
    const std::vector<std::string> removed = RemoveFiles(dir, average);
    summary.removed.insert(summary.removed.begin(), removed.begin(), removed.end());
    return summary;
  }
  const WrittenFiles average =
      SaveAverageFiles(dir, session, predicted, {run.facts, filters, summary.preGainDb});
  NoteFailure(average, AverageFileNames(session), summary);
  summary.averageFiles = average.names;
  summary.averageWritten = average.names.size() == AverageFileNames(session).size();
  return summary;
}

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
  ReportSaving(io, SaveToFolder(options.saveDir, {setup, result, RecordOf(setup, microphone)},
                                options.eq, session));
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
    std::fputs(
        "Warning: the run's files were not all saved: there was not enough memory. Close other "
        "programs and measure again.\n",
        io.err);
  }
  return true;
}
