#include "console/options.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "console/settings_limits.h"
#include "text/c_number.h"

namespace {

// Values of the long options that have no short form.
enum LongOnly : int {
  kEq = 256,
  kEqRange,
  kEqFilters,
  kEqTilt,
  kEqBoost,
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

struct OptionRule {
  int value;
  ApplyResult (*apply)(const Given&, Options&);
  bool turnsOnEq;  // every --eq-* option also asks for the correction
};

constexpr OptionRule kRules[] = {
    {'D', ApplyDevice, false},      {'s', ApplyPath, false},
    {'m', ApplyPath, false},        {kEq, nullptr, true},
    {kEqRange, ApplyEqRange, true}, {kEqFilters, ApplyEqFilters, true},
    {kEqTilt, ApplyEqTilt, true},   {kEqBoost, ApplyEqBoost, true},
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
  if (answer) {
    return {.action = *answer, .options = {}, .error = {}};
  }
  if (listDevices) {
    result.action = CommandLineAction::kListDevices;
  }
  return result;
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
         "\n"
         "Exit status: 0 after the menu's x command, 1 when the sound device could not be set\n"
         "up, 2 for a bad command line, 3 when standard output could not be written. See\n"
         "tonvale(1).\n";
}
