#pragma once

#include <optional>
#include <span>
#include <string>

#include "measurement/run_options.h"

// The command line. Parsing is pure: it returns what to do and never prints
// or exits, so main decides where each text goes.

struct Options {
  std::string device;      // empty: the program's default device
  std::string saveDir;     // empty: save nothing beyond sweep_out.txt
  std::string micCalFile;  // empty: no microphone calibration
  EqOptions eq;
  SweepKind sweep = SweepKind::kLinear;
  std::optional<double> levelDbfs;       // the sweep's peak; none: half of full scale
  bool thirdOctaves = false;             // room acoustics in third-octave bands
  std::optional<double> calibrateDbSpl;  // record a calibrator of this level, and exit
  std::string splCalFile;                // empty: no level calibration file
  std::optional<double> splOffsetDb;     // dB SPL at 0 dBFS, given by hand
  bool levelCheck = false;               // check the input levels, and exit
  int runs = 0;                          // measurements without the menu; 0: the menu
  std::optional<double> pauseSeconds;    // between them; none: Enter on a terminal
  bool operator==(const Options&) const = default;
};

enum class CommandLineAction {
  kRun,          // start the menu with options
  kHelp,         // print HelpText() on standard output, exit 0
  kVersion,      // print kVersionText on standard output, exit 0
  kListDevices,  // print the sound devices, exit 0
  kUsageError,   // print UsageErrorText(error) on standard error, exit kExitUsage
};

struct CommandLine {
  CommandLineAction action = CommandLineAction::kRun;
  Options options;
  std::string error;  // for kUsageError: one line naming the bad option or value
};

inline constexpr int kExitDevice = 1;        // the sound device could not be set up
inline constexpr int kExitUsage = 2;         // a bad command line
inline constexpr int kExitChecksFailed = 3;  // a measurement failed its checks
inline constexpr int kExitOutput = 4;        // standard output could not take what was written
// The steepest target slope --eq-tilt takes, in dB per octave either way.
inline constexpr double kMostEqTiltDb = 2.0;
inline constexpr const char* kVersionText = "Tonvale 1.00\n";
inline constexpr const char* kUsageLine =
    "Usage: tonvale [-h] [-V] [-l] [-D DEVICE] [-s DIR] [-m FILE] [--eq] [--eq-range LO:HI]\n"
    "               [--eq-filters N] [--eq-tilt DB] [--eq-boost DB] [--sweep linear|log]\n"
    "               [--level DBFS] [--bands-third] [--spl-cal FILE | --spl-offset DB]\n"
    "               [--runs N [--pause S]] [--calibrate DB] [--level-check]\n";

// argv as main receives it, argv[0] included. Options are read in order:
// the first bad option or value is the answer; otherwise the first of
// --help and --version, when given. getopt_long may reorder argv. Safe to
// call again (each call starts getopt afresh), but not from two threads at
// once.
CommandLine ParseCommandLine(std::span<char*> argv);

// The exit status that goes with an action that ends the program at once,
// when standard output takes what it prints.
int ExitStatusFor(CommandLineAction action);

// The error line, then the usage lines, then where to find more.
std::string UsageErrorText(const std::string& error);

// Every option with its meaning, for --help.
std::string HelpText();
