#include "console/options.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "console/settings_limits.h"
#include "measurement/spl_calibration.h"
#include "text/c_number.h"

namespace {

// Values of the long options that have no short form.
enum LongOnly : int {
  kEq = 256,
  kEqRange,
  kEqFilters,
  kEqTilt,
  kEqBoost,
  kSweep,
  kLevel,
  kBandsThird,
  kCalibrate,
  kSplCal,
  kSplOffset,
  kLevelCheck,
  kRuns,
  kPause,
};

// getopt reports a missing argument as ':' when the option string starts
// with ':'; with opterr 0 it prints nothing itself.
constexpr const char* kShortOptions = ":hVD:s:m:l";

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"device", required_argument, nullptr, 'D'},
    {"save", required_argument, nullptr, 's'},
    {"mic-cal", required_argument, nullptr, 'm'},
    {"list-devices", no_argument, nullptr, 'l'},
    {"eq", no_argument, nullptr, kEq},
    {"eq-range", required_argument, nullptr, kEqRange},
    {"eq-filters", required_argument, nullptr, kEqFilters},
    {"eq-tilt", required_argument, nullptr, kEqTilt},
    {"eq-boost", required_argument, nullptr, kEqBoost},
    {"sweep", required_argument, nullptr, kSweep},
    {"level", required_argument, nullptr, kLevel},
    {"bands-third", no_argument, nullptr, kBandsThird},
    {"calibrate", required_argument, nullptr, kCalibrate},
    {"spl-cal", required_argument, nullptr, kSplCal},
    {"spl-offset", required_argument, nullptr, kSplOffset},
    {"level-check", no_argument, nullptr, kLevelCheck},
    {"runs", required_argument, nullptr, kRuns},
    {"pause", required_argument, nullptr, kPause},
    {nullptr, 0, nullptr, 0},
};

// The option's short spelling ("-D"), or its long one when it has none.
std::string Spelling(int value) {
  if (value < kEq) {
    return std::string("-") + static_cast<char>(value);
  }
  for (const option& o : kLongOptions) {
    if (o.val == value) {
      return std::string("--") + o.name;
    }
  }
  return "?";
}

// What the user typed and what it should have been.
struct Given {
  int value;             // getopt's code for the option
  std::string spelling;  // "-D" or "--device", as typed
  const char* argument;  // its value
};

std::string BadValue(const Given& given, std::string_view rule) {
  return "tonvale: " + given.spelling + " '" + given.argument + "': " + std::string(rule);
}

// The refusal texts of the menu start with "Refused: "; here the option is
// named instead.
std::string_view WithoutRefusedPrefix(std::string_view text) {
  constexpr std::string_view kPrefix = "Refused: ";
  if (text.starts_with(kPrefix)) {
    text.remove_prefix(kPrefix.size());
  }
  return text;
}

std::optional<int> ParseWholeNumber(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

using ApplyResult = std::optional<std::string>;  // the error line when the value is bad

ApplyResult ApplyDevice(const Given& given, Options& options) {
  if (const char* refusal = CheckDeviceNameLength(std::strlen(given.argument))) {
    return BadValue(given, WithoutRefusedPrefix(refusal));
  }
  options.device = given.argument;
  return std::nullopt;
}

ApplyResult ApplyPath(const Given& given, Options& options) {
  if (*given.argument == '\0') {
    return BadValue(given, given.value == 's' ? "give a folder" : "give a file");
  }
  (given.value == 's' ? options.saveDir : options.micCalFile) = given.argument;
  return std::nullopt;
}

ApplyResult ApplyEqRange(const Given& given, Options& options) {
  const std::string_view text(given.argument);
  const std::size_t colon = text.find(':');
  const std::optional<double> low =
      colon == std::string_view::npos ? std::nullopt : ParseFiniteNumber(text.substr(0, colon));
  const std::optional<double> high =
      colon == std::string_view::npos ? std::nullopt : ParseFiniteNumber(text.substr(colon + 1));
  if (!low || !high || *low <= 0.0 || *high <= *low) {
    return BadValue(given, "give LO:HI in Hz with 0 < LO < HI, for example 20:500");
  }
  options.eq.lowHz = *low;
  options.eq.highHz = *high;
  return std::nullopt;
}

ApplyResult ApplyEqFilters(const Given& given, Options& options) {
  const std::optional<int> count = ParseWholeNumber(given.argument);
  if (!count || *count < 1 || *count > 20) {
    return BadValue(given, "give a whole number of filters from 1 to 20");
  }
  options.eq.filterCount = *count;
  return std::nullopt;
}

ApplyResult ApplyEqTilt(const Given& given, Options& options) {
  const std::optional<double> tilt = ParseFiniteNumber(given.argument);
  // Room targets fall by a dB or so per octave; beyond 2 the target leaves
  // the response so far that every filter is spent at its deepest cut.
  if (!tilt || *tilt < -kMostEqTiltDb || *tilt > kMostEqTiltDb) {
    return BadValue(given, "give the slope in dB per octave, from -2 to 2, for example -0.5");
  }
  options.eq.tiltDbPerOctave = *tilt;
  return std::nullopt;
}

ApplyResult ApplyEqBoost(const Given& given, Options& options) {
  const std::optional<double> boost = ParseFiniteNumber(given.argument);
  if (!boost || *boost < 0.0 || *boost > 3.0) {
    return BadValue(given, "give the largest boost in dB, from 0 to 3");
  }
  options.eq.boostDb = *boost;
  return std::nullopt;
}

ApplyResult ApplySweep(const Given& given, Options& options) {
  const std::string_view kind(given.argument);
  if (kind != "linear" && kind != "log") {
    return BadValue(given, "give linear or log");
  }
  options.sweep = kind == "log" ? SweepKind::kExponential : SweepKind::kLinear;
  return std::nullopt;
}

ApplyResult ApplyLevel(const Given& given, Options& options) {
  const std::optional<double> level = ParseFiniteNumber(given.argument);
  if (!level || *level > 0.0 || *level < -60.0) {
    return BadValue(given, "give the sweep's peak in dBFS, from -60 to 0, for example -12");
  }
  options.levelDbfs = *level;
  return std::nullopt;
}

ApplyResult ApplyCalibrate(const Given& given, Options& options) {
  const std::optional<double> level = ParseFiniteNumber(given.argument);
  if (!level || *level < 40.0 || *level > 150.0) {
    return BadValue(given, "give the calibrator's level in dB SPL, from 40 to 150, e.g. 94");
  }
  options.calibrateDbSpl = *level;
  return std::nullopt;
}

ApplyResult ApplySplCal(const Given& given, Options& options) {
  if (*given.argument == '\0') {
    return BadValue(given, "give a file");
  }
  options.splCalFile = given.argument;
  return std::nullopt;
}

ApplyResult ApplySplOffset(const Given& given, Options& options) {
  const std::optional<double> offset = ParseFiniteNumber(given.argument);
  if (!offset || !IsPlausibleSplOffset(*offset)) {
    return BadValue(given, "give the level in dB SPL that 0 dBFS stands for, from 60 to 200");
  }
  options.splOffsetDb = *offset;
  return std::nullopt;
}

ApplyResult ApplyRuns(const Given& given, Options& options) {
  const std::optional<int> runs = ParseWholeNumber(given.argument);
  if (!runs || *runs < 1 || *runs > 1000) {
    return BadValue(given, "give a whole number of runs from 1 to 1000");
  }
  options.runs = *runs;
  return std::nullopt;
}

ApplyResult ApplyPause(const Given& given, Options& options) {
  const std::optional<double> pause = ParseFiniteNumber(given.argument);
  if (!pause || *pause < 0.0 || *pause > 3600.0) {
    return BadValue(given, "give the pause between runs in seconds, from 0 to 3600");
  }
  options.pauseSeconds = *pause;
  return std::nullopt;
}

ApplyResult SetThirdOctaves(const Given& /*given*/, Options& options) {
  options.thirdOctaves = true;
  return std::nullopt;
}

ApplyResult SetLevelCheck(const Given& /*given*/, Options& options) {
  options.levelCheck = true;
  return std::nullopt;
}

struct OptionRule {
  int value;
  ApplyResult (*apply)(const Given&, Options&);
  bool turnsOnEq;  // every --eq-* option also asks for the correction
};

constexpr OptionRule kRules[] = {
    {'D', ApplyDevice, false},
    {'s', ApplyPath, false},
    {'m', ApplyPath, false},
    {kEq, nullptr, true},
    {kEqRange, ApplyEqRange, true},
    {kEqFilters, ApplyEqFilters, true},
    {kEqTilt, ApplyEqTilt, true},
    {kEqBoost, ApplyEqBoost, true},
    {kSweep, ApplySweep, false},
    {kLevel, ApplyLevel, false},
    {kBandsThird, SetThirdOctaves, false},
    {kCalibrate, ApplyCalibrate, false},
    {kSplCal, ApplySplCal, false},
    {kSplOffset, ApplySplOffset, false},
    {kLevelCheck, SetLevelCheck, false},
    {kRuns, ApplyRuns, false},
    {kPause, ApplyPause, false},
};

// Stores one option's value; returns the error line when the value is bad.
ApplyResult Apply(const Given& given, Options& options) {
  for (const OptionRule& rule : kRules) {
    if (rule.value != given.value) {
      continue;
    }
    if (rule.apply != nullptr) {
      if (ApplyResult error = rule.apply(given, options)) {
        return error;
      }
    }
    options.eq.enabled = options.eq.enabled || rule.turnsOnEq;
    return std::nullopt;
  }
  return "tonvale: internal error: option " + given.spelling + " has no handler";
}

// Options that cannot go together, or nullptr.
const char* Clash(const Options& options) {
  if (!options.splCalFile.empty() && options.splOffsetDb) {
    return "give the level calibration once: --spl-cal FILE or --spl-offset DB, not both";
  }
  if (options.pauseSeconds && options.runs == 0) {
    return "--pause goes with --runs N";
  }
  if (options.levelCheck && options.calibrateDbSpl) {
    return "--level-check and --calibrate are separate steps: give one of them";
  }
  return nullptr;
}

CommandLine UsageError(std::string error) {
  return {.action = CommandLineAction::kUsageError, .options = {}, .error = std::move(error)};
}

// What getopt refused: an unknown option ('?') or a missing value (':').
// typed is the element getopt has just passed ("--devcie", "-lx").
CommandLine Refused(int value, const std::string& typed) {
  if (value == ':') {
    return UsageError("tonvale: option '" + (typed.starts_with("--") ? typed : Spelling(optopt)) +
                      "' needs a value");
  }
  if (optopt == 0) {
    return UsageError("tonvale: unknown option '" + typed + "'");
  }
  // A known option can only be refused for a value given with "=".
  if (optopt >= kEq || std::strchr(kShortOptions, optopt) != nullptr) {
    return UsageError("tonvale: option '" + typed + "' takes no value");
  }
  return UsageError(std::string("tonvale: unknown option '-") + static_cast<char>(optopt) + "'");
}

// What the whole line asks for once every option has been read: a mistake
// in any of them, or the first of --help and --version, or a list, or a run.
CommandLine Conclude(CommandLine result, std::optional<CommandLineAction> answer,
                     bool listDevices) {
  if (const char* clash = Clash(result.options)) {
    return UsageError(std::string("tonvale: ") + clash);
  }
  if (answer) {
    return {.action = *answer, .options = {}, .error = {}};
  }
  if (listDevices) {
    result.action = CommandLineAction::kListDevices;
  }
  return result;
}

}  // namespace

CommandLine ParseCommandLine(std::span<char*> argv) {
  CommandLine result;
  if (argv.empty()) {
    return result;
  }
  // 0, not 1: glibc then also forgets where it was inside a group like -lV.
  optind = 0;
  opterr = 0;
  const int argc = static_cast<int>(argv.size());
  bool listDevices = false;
  // Help and version answer only a line that holds no mistake: a script
  // that checks "tonvale --version --bogus" must learn of the typo.
  std::optional<CommandLineAction> answer;
  for (;;) {
    int longIndex = -1;
    const int value = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &longIndex);
    if (value == -1) {
      break;
    }
    // The element getopt has just passed, as typed ("--devcie", "-lx").
    const std::string typed = argv[static_cast<std::size_t>(optind - 1)];
    switch (value) {
      case 'h':
        answer = answer.value_or(CommandLineAction::kHelp);
        break;
      case 'V':
        answer = answer.value_or(CommandLineAction::kVersion);
        break;
      case 'l':
        listDevices = true;
        break;
      case '?':
      case ':':
        return Refused(value, typed);
      default:
        const Given given{
            value,
            longIndex < 0
                ? Spelling(value)
                : std::string("--") + kLongOptions[static_cast<std::size_t>(longIndex)].name,
            optarg};
        if (std::optional<std::string> error = Apply(given, result.options)) {
          return UsageError(std::move(*error));
        }
    }
  }
  if (optind < argc) {
    return UsageError(std::string("tonvale: unexpected argument '") +
                      argv[static_cast<std::size_t>(optind)] + "'");
  }
  return Conclude(std::move(result), answer, listDevices);
}

int ExitStatusFor(CommandLineAction action) {
  return action == CommandLineAction::kUsageError ? kExitUsage : 0;
}

std::string UsageErrorText(const std::string& error) {
  return error + "\n" + kUsageLine + "Try 'tonvale --help' for more information.\n";
}

std::string HelpText() {
  return std::string(kUsageLine) +
         "Measures a room's frequency response with a sine sweep through a two-channel sound\n"
         "interface, worked from a text menu on standard input and output.\n"
         "\n"
         "  -h, --help             print this help and exit\n"
         "  -V, --version          print the version and exit\n"
         "  -l, --list-devices     list the sound devices that can play and record, and exit\n"
         "  -D, --device NAME      start on this ALSA device (at most 15 characters);\n"
         "                         the menu's c command still changes it\n"
         "  -s, --save DIR         save every run and the average in DIR\n"
         "  -m, --mic-cal FILE     correct for the microphone with its calibration file\n"
         "                         (lines of 'frequency dB [phase]')\n"
         "      --eq               compute room correction filters from the average\n"
         "      --eq-range LO:HI   frequencies the filters may act on, in Hz (default 20:500)\n"
         "      --eq-filters N     at most N filters, 1 to 20 (default 10)\n"
         "      --eq-tilt DB       target slope in dB per octave, -2 to 2 (default 0)\n"
         "      --eq-boost DB      largest boost a filter may apply, 0 to 3 dB (default 0)\n"
         "      --sweep linear|log the sweep: equal time per hertz (default) or per octave;\n"
         "                         a log sweep also measures the loudspeaker's distortion\n"
         "      --level DBFS       the sweep's peak, -60 to 0 dBFS (default -6.02)\n"
         "      --bands-third      room acoustics in third-octave bands (default octaves)\n"
         "      --calibrate DB     record a sound-level calibrator of DB dB SPL on the\n"
         "                         microphone, write spl-calibration.txt, and exit\n"
         "      --spl-cal FILE     levels in dB SPL from that calibration file\n"
         "      --spl-offset DB    levels in dB SPL: 0 dBFS on input 1 stands for DB dB SPL\n"
         "      --level-check      play pink noise, report both inputs' levels, and exit\n"
         "      --runs N           N measurements without the menu, then exit\n"
         "      --pause S          seconds between them (default: Enter on a terminal)\n"
         "\n"
         "Exit status: 0 after the menu's x command or when every run was good, 1 when the\n"
         "sound device could not be set up, 2 for a bad command line, 3 when a run of --runs,\n"
         "--calibrate or --level-check failed its checks, 4 when standard output could not be\n"
         "written. See tonvale(1).\n";
}
