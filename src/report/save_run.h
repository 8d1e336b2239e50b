#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "analysis/response_point.h"
#include "report/response_plot.h"
#include "report/run_facts.h"
#include "report/run_files.h"
#include "report/save_result.h"

// Everything one measurement leaves behind.
struct RunRecord {
  RunFacts facts;
  FineResponse response;
  std::vector<BandStep> bands;
  std::vector<float> impulse;  // at 48000 Hz
  // Drawn over the measured response, e.g. a predicted result of correction.
  std::vector<PlotCurve> extraCurves;
};

struct SavedRun {
  SaveResult result;
  int number = 0;                            // 0 when nothing was claimed
  std::vector<std::filesystem::path> files;  // run-NNN.frd, run-NNN-ir.wav, run-NNN.svg
};

// Makes dir as how says, takes the next free run number there and writes the
// run's response, impulse response and plot as new files. On failure the
// message says which file and why; files already complete are kept.
SavedRun SaveRun(const std::filesystem::path& dir, FolderCreation how, const RunRecord& run);

// "hw:1  |  Q 4, 31 bands, 18-20000 Hz, 10 s sweep  |  1.23 m to the
// microphone", and the calibration file when one was applied.
std::string RunSubtitle(const RunFacts& facts);

// The plot of one run: the response, its bands and the extra curves, under a
// title of run number, date, device, settings and distance.
ResponsePlot RunPlot(int number, const RunRecord& run);

struct SavedAverage {
  SaveResult result;
  int runCount = 0;  // the runs averaged; fewer than 2 writes nothing
  FineResponse average;
};

// One run's response, named as its files are ("run-007").
struct NamedResponse {
  std::string name;
  FineResponse points;
};

// Writes the power average of runs to average.frd and average.svg in dir
// (each run thin, the average bold, then the extra curves), replacing those
// two files. Writes nothing for fewer than two runs.
SavedAverage SaveAverage(const std::filesystem::path& dir, std::span<const NamedResponse> runs,
                         std::span<const PlotCurve> extraCurves);
