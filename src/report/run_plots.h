#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/response_point.h"
#include "analysis/session_responses.h"
#include "report/response_plot.h"
#include "report/run_facts.h"

// Everything one measurement leaves behind.
struct RunRecord {
  RunFacts facts;
  FineResponse response;
  std::vector<BandStep> bands;
  std::vector<float> impulse;      // at facts.rate, from the loop-back's zero
  std::vector<float> impulseLead;  // the response before that zero
  // Drawn over the measured response, e.g. a predicted result of correction.
  std::vector<PlotCurve> extraCurves;
};

// "hw:1  |  Q 4, 31 bands, 18-20000 Hz, 10 s sweep  |  1.23 m to the
// microphone", and the calibration file when one was applied.
std::string RunSubtitle(const RunFacts& facts);

// The plot of one run: the response, its bands and the extra curves, under a
// title of run number, date, device, settings and distance.
ResponsePlot RunPlot(int number, const RunRecord& run);

// The plot of the session's average: each run thin, the average bold, then
// the extra curves.
ResponsePlot AveragePlot(const SessionResponses& session, std::span<const PlotCurve> extraCurves,
                         const std::string& levelAxis);

// The level axis's title: "Level (dB)", or "Level (dB SPL)" with a level
// calibration.
std::string LevelAxis(const RunFacts& facts);

// "run-001, run-002, run-004"
std::string RunList(const SessionResponses& session);

// "18-16175 Hz": the frequencies a response covers, rounded to whole hertz;
// "no frequencies" when it is empty.
std::string RangeText(const FineResponse& response);

// Whether the session's runs cover different frequencies (runs started at
// other settings), so that their average holds only the part they share.
bool RunRangesDiffer(const SessionResponses& session);

// "run-001 18-16175 Hz, run-002 50-16175 Hz"
std::string RunRanges(const SessionResponses& session);

// The average's FRD header (without the '*'): which runs it holds and over
// which frequencies, and each run's own range when they differ.
std::vector<std::string> AverageHeader(const SessionResponses& session, const RunFacts& facts);
