#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs real programs (the tonvale executable, aplay, arecord) the way a user
// or a script would, for the tests and the benchmarks: given standard input, collected standard
// output and error, the exit status.

struct ProcessResult {
  std::string out;
  std::string err;
  int exitStatus = -1;  // the exit code, or 128 + signal number
  bool timedOut = false;
  double seconds = 0.0;  // from start to exit
  long peakRssKiB = 0;   // the process's largest resident size
};

struct ProcessOptions {
  std::string input{};                     // written to standard input, then closed
  std::vector<std::string> environment{};  // "NAME=value" entries added to (or replacing) ours
  std::filesystem::path workDir{};         // empty: the current directory
  std::chrono::seconds timeout{120};       // the process is killed after this
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

// An ALSA configuration in a temporary HOME that loads the simulated room
// plugin of this build, plus the device entries given (text in ALSA's
// configuration syntax, e.g. "pcm.room { type simroom loop_delay 300 }").
// environment() points a child process at it.
class SimroomHome {
 public:
  explicit SimroomHome(const std::string& deviceEntries);
  const std::filesystem::path& path() const { return dir_.path(); }
  std::vector<std::string> environment() const;

 private:
  TempDir dir_;
};
