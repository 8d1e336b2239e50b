#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "process_runner.h"

// Helpers for the measurement tests: a simulated room described in the
// terms of its ALSA configuration entry, the program run against it, and
// the run's output taken apart.

struct Room {
  std::string clock = "fast";
  int loopDelay = 300;
  int acousticDelay = 0;
  double gainDb = 0.0;
  double noiseDb = -200.0;  // at or below -150: no noise
  int seed = 7;
  bool cable = true;
  std::string filters;  // the entries inside `filters { }`
  std::string extra;    // further keys, e.g. fault injection

  // The device entry `pcm.<name> { type simroom ... }`.
  std::string Entry(const std::string& name) const;
};

// Runs the program in workDir with the given standard input, with ALSA
// configured by deviceEntries (see SimroomHome); launcher, when given, is the
// command (and its options) that starts the program.
ProcessResult RunTonvale(const std::string& deviceEntries, const std::string& input,
                         const std::filesystem::path& workDir, int timeoutSeconds = 60,
                         const std::vector<std::string>& launcher = {});

struct BandLine {
  int number = 0;
  double low = 0.0;
  double high = 0.0;
  double level = 0.0;
};

// One results report as printed: the text from "Results:" through the last
// band line, and the band lines parsed.
struct PrintedReport {
  std::string text;
  std::vector<BandLine> bands;
};

// Every report in the program's standard output, in order.
std::vector<PrintedReport> FindReports(const std::string& out);

// The full name of program as found on PATH, or an empty path.
std::filesystem::path FindProgram(const std::string& program);

std::vector<std::string> SplitLines(const std::string& text);
std::string ReadWholeFile(const std::filesystem::path& path);
