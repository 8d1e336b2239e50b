#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs real programs (the tonvale executable, a shell, rsvg-convert) the way
// a user or a script would, for the tests and the benchmarks, with ALSA
// pointed at this build's simulated room; and takes the program's output apart.

struct ProcessResult {
  std::string out;
  std::string err;
  int exitStatus = -1;  // the exit code, or 128 + signal number
  bool timedOut = false;
  double seconds = 0.0;  // from start to exit
  long peakRssKiB = 0;   // the process's largest resident size
};

struct ProcessOptions {
  std::string input{};                     // standard input: at most a pipe's 64 KiB
  std::vector<std::string> environment{};  // "NAME=value" entries added to (or replacing) ours
  std::filesystem::path workDir{};         // empty: the current directory
  std::chrono::seconds timeout{120};       // the process and its children are killed after this
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

// A fresh directory under the system's temporary directory, removed with its
// contents when this object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// ALSA configuration text that loads this build's simulated room plugin,
// followed by deviceEntries (e.g. "pcm.room { type simroom loop_delay 300 }").
std::string SimroomConfig(const std::string& deviceEntries);

// That configuration as the .asoundrc of a temporary HOME; environment()
// points a child process at it.
class SimroomHome {
 public:
  explicit SimroomHome(const std::string& deviceEntries);
  const std::filesystem::path& path() const { return dir_.path(); }
  std::vector<std::string> environment() const;

 private:
  TempDir dir_;
};

// A simulated room in the terms of its ALSA configuration entry.
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
// configured by deviceEntries; launcher, when given, is the command (and its
// options) that starts the program.
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
