#include "report/run_json.h"

#include <nlohmann/json.hpp>

#include "analysis/time_of_flight.h"
#include "report/acoustics_texts.h"
#include "report/distortion_report.h"
#include "report/frd_file.h"

namespace {

using nlohmann::json;

// A figure that may be missing: null in the document.
template <typename T>
json OrNull(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

const char* SyncReturnName(SyncReturn returned) {
  switch (returned) {
    case SyncReturn::kClear:
      return "clear";
    case SyncReturn::kMissing:
      return "missing";
    case SyncReturn::kSweepOnInput2:
      return "sweep_on_input_2";
    case SyncReturn::kLate:
      return "late";
  }
  return "";
}

json SetupJson(const MeasurementSetup& setup, const RunFacts& facts) {
  const Calibrations& calibrations = setup.calibrations;
  return {
      {"device", setup.deviceName},
      {"rate", setup.rate},
      {"sweep",
       {{"kind", setup.stimulus.kind == SweepKind::kExponential ? "log" : "linear"},
        {"start_hz", setup.stimulus.startHz},
        {"end_hz", setup.stimulus.endHz},
        {"seconds", setup.stimulus.seconds},
        {"level_dbfs", 20.0 * std::log10(setup.stimulus.amplitude)}}},
      {"q", setup.qFactor},
      {"bands", setup.bandCount},
      {"calibrations",
       {{"microphone_file",
         facts.calibrationFile.empty() ? json(nullptr) : json(facts.calibrationFile)},
        {"spl_offset_db", OrNull(calibrations.splOffsetDb)},
        {"spl_file", calibrations.splFile.empty() ? json(nullptr) : json(calibrations.splFile)}}}};
}

json BandIndexes(const BandLevels& levels, bool (*matches)(const BandResult&)) {
  json bands = json::array();
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    if (matches(levels.bands[k])) {
      bands.push_back(k + 1);
    }
  }
  return bands;
}

// Every warning the run gave on standard error, as a code and its figures.
json WarningsJson(const RunResult& result) {
  json warnings = json::array();
  const ChannelResult& microphone = result.Microphone();
  const TransferStats& stats = result.transfer.stats;
  if (!stats.Clean()) {
    warnings.push_back({{"code", "transfer_disturbed"},
                        {"xruns", stats.xruns},
                        {"lost_periods", stats.lostPeriods}});
  }
  if (result.transfer.closeProblem.operation != nullptr) {
    warnings.push_back(
        {{"code", "close_failed"}, {"operation", result.transfer.closeProblem.operation}});
  }
  if (!microphone.timeOfFlight) {
    warnings.push_back({{"code", "no_direct_sound"}});
  }
  const json unresolved =
      BandIndexes(microphone.levels, [](const BandResult& b) { return b.unresolved; });
  if (!unresolved.empty()) {
    warnings.push_back({{"code", "unresolved_bands"}, {"bands", unresolved}});
  }
  const json above =
      BandIndexes(microphone.levels, [](const BandResult& b) { return b.aboveNyquist; });
  if (!above.empty()) {
    warnings.push_back({{"code", "bands_above_half_the_rate"}, {"bands", above}});
  }
  if (microphone.clippedSamples > 0) {
    warnings.push_back({{"code", "clipping"}, {"samples", microphone.clippedSamples}});
  }
  return warnings;
}

json ChecksJson(const RunResult& result) {
  return {{"device_failed", result.DeviceFailed()},
          {"sync_return", SyncReturnName(result.sync.returned)},
          {"slip_samples", OrNull(result.sync.slip)},
          {"clipped_samples", result.Microphone().clippedSamples},
          {"kept", !result.Fault().has_value()}};
}

json BandTableJson(const MeasurementSetup& setup, const BandLevels& levels) {
  json bands = json::array();
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    const BandResult& band = levels.bands[k];
    bands.push_back({{"low_hz", setup.plan.low[k]},
                     {"high_hz", setup.plan.high[k]},
                     {"db", band.hasLevel ? json(band.level) : json(nullptr)},
                     {"reliable", band.hasLevel && !band.unresolved && !band.aboveNyquist}});
  }
  return bands;
}

json FlightJson(const ChannelResult& microphone, double rate) {
  if (!microphone.timeOfFlight) {
    return nullptr;
  }
  const FlightSummary flight = SummariseFlight(*microphone.timeOfFlight, rate);
  return {{"samples", flight.samples}, {"ms", flight.milliseconds}, {"distance_m", flight.metres}};
}

// The distortion at the frequencies the summary line names, or why none.
json DistortionJson(const std::optional<HarmonicDistortion>& distortion) {
  if (!distortion) {
    return nullptr;
  }
  json at = json::array();
  for (const double hz : {100.0, 1000.0, 10000.0}) {
    if (const DistortionPoint* point = PointAt(*distortion, hz)) {
      at.push_back({{"hz", point->hz},
                    {"thd_percent", OrNull(point->thdPercent)},
                    {"h2_db", OrNull(point->harmonicDb[0])},
                    {"h3_db", OrNull(point->harmonicDb[1])}});
    }
  }
  return {{"refused", distortion->refusal.empty() ? json(nullptr) : json(distortion->refusal)},
          {"points", distortion->points.size()},
          {"at", at}};
}

json AcousticValueJson(const AcousticValue& value) {
  return value.value ? json{{"value", *value.value}, {"flags", FlagWords(value.flags)}}
                     : json(nullptr);
}

// The room's decay: the mid-frequency figures and every band's values with
// their flags, as run-NNN-acoustics.csv holds them.
json AcousticsJson(const std::optional<RoomAcoustics>& acoustics) {
  if (!acoustics) {
    return nullptr;
  }
  const MidFrequencySummary mid = SummariseMidFrequencies(acoustics->bands);
  json bands = json::array();
  for (const BandAcoustics& band : acoustics->bands) {
    bands.push_back({{"band_hz", band.nominalHz},
                     {"edt_s", AcousticValueJson(band.edt)},
                     {"t20_s", AcousticValueJson(band.t20)},
                     {"t30_s", AcousticValueJson(band.t30)},
                     {"c50_db", AcousticValueJson(band.c50)},
                     {"c80_db", AcousticValueJson(band.c80)},
                     {"d50", AcousticValueJson(band.d50)},
                     {"ts_ms", AcousticValueJson(band.tsMs)},
                     {"range_db", band.rangeDb}});
  }
  return {{"mid_frequency",
           {{"reverberation_s", OrNull(mid.reverberationS)},
            {"edt_s", OrNull(mid.edtS)},
            {"c80_db", OrNull(mid.c80Db)}}},
          {"bands", bands}};
}

}  // namespace

std::string RunJson(const RunJsonInput& run) {
  const ChannelResult& microphone = run.result.Microphone();
  json document{{"program", kProgramAndVersion},
                {"measured", run.facts.dateTime},
                {"setup", SetupJson(run.setup, run.facts)},
                {"checks", ChecksJson(run.result)},
                {"warnings", WarningsJson(run.result)},
                {"sync",
                 {{"out", run.result.sync.syncOut},
                  {"in", run.result.sync.syncIn.index},
                  {"lag", run.result.sync.lag}}},
                {"time_of_flight", FlightJson(microphone, run.result.rate)},
                {"band_table", BandTableJson(run.setup, microphone.levels)},
                {"response_unit", run.facts.splOffsetDb ? "dB SPL" : "dB"},
                {"sweep_spl", microphone.sweepSpl ? json{{"z_db", microphone.sweepSpl->zDb},
                                                         {"c_db", microphone.sweepSpl->cDb}}
                                                  : json(nullptr)},
                {"distortion", DistortionJson(microphone.distortion)},
                {"acoustics", AcousticsJson(microphone.acoustics)},
                {"files", run.files}};
  return document.dump(2) + "\n";
}

std::string AverageJson(const AverageJsonInput& average) {
  const FineResponse& points = average.session.average();
  json filters = json::array();
  for (const JsonFilter& filter : average.filters) {
    filters.push_back({{"hz", filter.hz}, {"gain_db", filter.gainDb}, {"q", filter.q}});
  }
  json document{
      {"program", kProgramAndVersion},
      {"runs", average.session.names()},
      {"range_hz", points.empty() ? json(nullptr) : json{points.front().hz, points.back().hz}},
      {"response_unit", average.facts.splOffsetDb ? "dB SPL" : "dB"},
      {"files", average.files},
      {"correction", average.filters.empty()
                         ? json(nullptr)
                         : json{{"pre_gain_db", average.preGainDb}, {"filters", filters}}}};
  return document.dump(2) + "\n";
}
