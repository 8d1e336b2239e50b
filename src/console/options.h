#pragma once

#include <span>
#include <string>

// The command line. Parsing is pure: it returns what to do and never prints
// or exits, so main decides where each text goes.

// Room correction, asked for with --eq. Every --eq-* option also turns it on.
struct EqOptions {
  bool enabled = false;
  double lowHz = 20.0;  // the range the filters may act on
  double highHz = 500.0;
  int filterCount = 10;
  double tiltDbPerOctave = 0.0;  // target slope; negative falls towards the treble
  double boostDb = 0.0;          // how far a filter may lift a dip
  bool operator==(const EqOptions&) const = default;
};

struct Options {
  std::string device;      // empty: the program's default device
  std::string saveDir;     // empty: save nothing beyond sweep_out.txt
  std::string micCalFile;  // empty: no microphone calibration
  EqOptions eq;
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

inline constexpr int kExitUsage = 2;
inline constexpr const char* kVersionText = "Tonvale 1.00\n";
inline constexpr const char* kUsageLine =
    "Usage: tonvale [-h] [-V] [-l] [-D DEVICE] [-s DIR] [-m FILE] [--eq] [--eq-range LO:HI]\n"
    "               [--eq-filters N] [--eq-tilt DB] [--eq-boost DB]\n";

// argv as main receives it, argv[0] included. Options are read in order:
// --help and --version act as soon as they are met, and so does the first
// bad option or value. getopt_long may reorder argv. Safe to call again
// (each call starts getopt afresh), but not from two threads at once.
CommandLine ParseCommandLine(std::span<char*> argv);

// The exit status that goes with an action that ends the program at once.
int ExitStatusFor(CommandLineAction action);

// The error line, then the usage lines, then where to find more.
std::string UsageErrorText(const std::string& error);

// Every option with its meaning, for --help.
std::string HelpText();
