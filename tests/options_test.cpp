#include "console/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = CommandLineAction;

CommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tonvale");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return ParseCommandLine(argv);
}

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += arg + " ";
  return text;
}

Options Given(std::string device, std::string save, std::string mic, EqOptions eq = {}) {
  Options options;
  options.device = std::move(device);
  options.saveDir = std::move(save);
  options.micCalFile = std::move(mic);
  options.eq = eq;
  return options;
}

EqOptions Eq(double low, double high, int filters, double tilt, double boost) {
  return {true, low, high, filters, tilt, boost};
}

TEST(CommandLine, AcceptsEachOption) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    Options options;
  } cases[] = {
      {{}, Action::kRun, {}},
      {{"-D", "hw:1", "-s", "out", "-m", "mic.txt"}, Action::kRun, Given("hw:1", "out", "mic.txt")},
      {{"--device=plughw:CARD=U,0", "--save", "o", "--mic-cal=m"},
       Action::kRun,
       Given("plughw:CARD=U,0", "o", "m")},
      {{"-Dhw:2", "--dev", "123456789012345"}, Action::kRun, Given("123456789012345", "", "")},
      {{"-Vl"}, Action::kVersion, {}},
      {{"-lV"}, Action::kVersion, {}},
      {{"--list-devices"}, Action::kListDevices, {}},
      {{"--eq"}, Action::kRun, Given("", "", "", Eq(20, 500, 10, 0, 0))},
      {{"--eq-range", "30.5:2e3"}, Action::kRun, Given("", "", "", Eq(30.5, 2000, 10, 0, 0))},
      {{"--eq-filters", "20", "--eq-tilt", "-0.5", "--eq-boost", "3"},
       Action::kRun,
       Given("", "", "", Eq(20, 500, 20, -0.5, 3))},
      {{"--eq-filters=1", "--eq-boost=0"}, Action::kRun, Given("", "", "", Eq(20, 500, 1, 0, 0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const CommandLine result = Parse(c.args);
    EXPECT_EQ(result.action, c.action);
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(result.options == c.options);
  }
}

TEST(CommandLine, NamesTheBadOptionOrValue) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-D", "1234567890123456"},
       "tonvale: -D '1234567890123456': the device name must be at most 15 characters."},
      {{"--bogus", "-h"}, "tonvale: unknown option '--bogus'"},
      {{"-h", "--bogus"}, "tonvale: unknown option '--bogus'"},
      {{"-lx"}, "tonvale: unknown option '-x'"},
      {{"--eq", "-xl"}, "tonvale: unknown option '-x'"},
      {{"--help=3"}, "tonvale: option '--help=3' takes no value"},
      {{"-D"}, "tonvale: option '-D' needs a value"},
      {{"--eq-range"}, "tonvale: option '--eq-range' needs a value"},
      {{"-s", ""}, "tonvale: -s '': give a folder"},
      {{"run"}, "tonvale: unexpected argument 'run'"},
      {{"--", "-h"}, "tonvale: unexpected argument '-h'"},
      {{"--eq-range", "500:20"},
       "tonvale: --eq-range '500:20': give LO:HI in Hz with 0 < LO < HI, for example 20:500"},
      {{"--eq-range", "0:20"}, "tonvale: --eq-range '0:20': give LO:HI"},
      {{"--eq-range", "20:20"}, "tonvale: --eq-range '20:20': give LO:HI"},
      {{"--eq-range", "20-500"}, "tonvale: --eq-range '20-500': give"},
      {{"--eq-range", "20:5e2x"}, "tonvale: --eq-range '20:5e2x': give"},
      {{"--eq-filters", "0"}, "tonvale: --eq-filters '0': give a whole number of filters"},
      {{"--eq-filters", "21"}, "tonvale: --eq-filters '21': give"},
      {{"--eq-filters", "2.5"}, "tonvale: --eq-filters '2.5': give"},
      {{"--eq-filters", "4294967297"}, "tonvale: --eq-filters '4294967297': give"},
      {{"--eq-tilt", "nan"}, "tonvale: --eq-tilt 'nan': give the slope"},
      {{"--eq-boost", "3.01"}, "tonvale: --eq-boost '3.01': give the largest boost"},
      {{"--eq-boost", "-0.1"}, "tonvale: --eq-boost '-0.1': give"},
      {{"--sweep", "cubic"}, "tonvale: --sweep 'cubic': give linear or log"},
      {{"--level", "0.5"}, "tonvale: --level '0.5': give the sweep's peak"},
      {{"--level", "nan"}, "tonvale: --level 'nan': give"},
      {{"--runs", "0"}, "tonvale: --runs '0': give a whole number of runs from 1 to 1000"},
      {{"--runs", "1001"}, "tonvale: --runs '1001': give"},
      {{"--pause", "1"}, "tonvale: --pause goes with --runs N"},
      {{"--calibrate", "39"}, "tonvale: --calibrate '39': give the calibrator's level"},
      {{"--calibrate", "151"}, "tonvale: --calibrate '151': give"},
      {{"--spl-offset", "59"}, "tonvale: --spl-offset '59': give the level"},
      {{"--spl-offset", "120", "--spl-cal", "f"}, "tonvale: give the level calibration once"},
  };
  for (const auto& [args, error] : cases) {
    SCOPED_TRACE(Joined(args));
    const CommandLine result = Parse(args);
    EXPECT_EQ(result.action, Action::kUsageError);
    EXPECT_EQ(result.error.substr(0, error.size()), error);
  }
  for (const char* name :
       {"-h, --help",    "-V, --version", "-l, --list-devices", "-D, --device",  "-s, --save",
        "-m, --mic-cal", "--eq ",         "--eq-range",         "--eq-filters",  "--eq-tilt",
        "--eq-boost",    "--sweep",       "--level ",           "--bands-third", "--calibrate",
        "--spl-cal",     "--spl-offset",  "--level-check",      "--runs",        "--pause"}) {
    EXPECT_NE(HelpText().find(name), std::string::npos) << "help leaves out " << name;
  }
}

}  // namespace
