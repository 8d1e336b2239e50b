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
  argv.push_back(nullptr);  // main's argv ends in a null pointer too
  return ParseCommandLine(std::span(argv).first(args.size()));
}

EqOptions Eq(double low, double high, int filters, double tilt, double boost) {
  return {.enabled = true,
          .lowHz = low,
          .highHz = high,
          .filterCount = filters,
          .tiltDbPerOctave = tilt,
          .boostDb = boost};
}

Options Files(const char* device, const char* saveDir, const char* micCalFile) {
  Options options;
  options.device = device;
  options.saveDir = saveDir;
  options.micCalFile = micCalFile;
  return options;
}

Options WithEq(const EqOptions& eq) {
  Options options;
  options.eq = eq;
  return options;
}

TEST(CommandLine, EachOptionAndEachMistake) {
  const EqOptions off{};
  const EqOptions on = Eq(20, 500, 10, 0, 0);
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::string error;  // for a usage error: the line expected
    Options options;
  } cases[] = {
      {{}, Action::kRun, "", {}},
      {{"-D", "hw:1", "-s", "out", "-m", "mic.txt"},
       Action::kRun,
       "",
       Files("hw:1", "out", "mic.txt")},
      {{"--device=plughw:CARD=U,0", "--save", "o", "--mic-cal=m"},
       Action::kRun,
       "",
       Files("plughw:CARD=U,0", "o", "m")},
      {{"-Dhw:2", "--dev", "hw:3"}, Action::kRun, "", Files("hw:3", "", "")},
      {{"-D", "123456789012345"}, Action::kRun, "", Files("123456789012345", "", "")},
      {{"-D", "1234567890123456"},
       Action::kUsageError,
       "tonvale: -D '1234567890123456': the device name must be at most 15 characters.",
       {}},
      {{"-Vl"}, Action::kVersion, "", {}},
      {{"-lV"}, Action::kVersion, "", {}},
      {{"--list-devices"}, Action::kListDevices, "", {}},
      {{"-h", "--bogus"}, Action::kHelp, "", {}},
      {{"--bogus", "-h"}, Action::kUsageError, "tonvale: unknown option '--bogus'", {}},
      {{"-lx"}, Action::kUsageError, "tonvale: unknown option '-x'", {}},
      {{"--eq", "-xl"}, Action::kUsageError, "tonvale: unknown option '-x'", {}},
      {{"--help=3"}, Action::kUsageError, "tonvale: option '--help=3' takes no value", {}},
      {{"-D"}, Action::kUsageError, "tonvale: option '-D' needs a value", {}},
      {{"--eq-range"}, Action::kUsageError, "tonvale: option '--eq-range' needs a value", {}},
      {{"-s", ""}, Action::kUsageError, "tonvale: -s '': give a folder", {}},
      {{"run"}, Action::kUsageError, "tonvale: unexpected argument 'run'", {}},
      {{"--", "-h"}, Action::kUsageError, "tonvale: unexpected argument '-h'", {}},
      {{"--eq"}, Action::kRun, "", WithEq(on)},
      {{"--eq-range", "30.5:2e3"}, Action::kRun, "", WithEq(Eq(30.5, 2000, 10, 0, 0))},
      {{"--eq-filters", "20", "--eq-tilt", "-0.5", "--eq-boost", "3"},
       Action::kRun,
       "",
       WithEq(Eq(20, 500, 20, -0.5, 3))},
      {{"--eq-filters=1", "--eq-boost=0"}, Action::kRun, "", WithEq(Eq(20, 500, 1, 0, 0))},
      {{"--eq-range", "500:20"},
       Action::kUsageError,
       "tonvale: --eq-range '500:20': give LO:HI in Hz with 0 < LO < HI, for example 20:500",
       {}},
      {{"--eq-range", "0:20"}, Action::kUsageError, "tonvale: --eq-range '0:20': give LO:HI", {}},
      {{"--eq-range", "20:20"}, Action::kUsageError, "tonvale: --eq-range '20:20': give LO:HI", {}},
      {{"--eq-range", "20-500"}, Action::kUsageError, "tonvale: --eq-range '20-500': give", {}},
      {{"--eq-range", "20:5e2x"}, Action::kUsageError, "tonvale: --eq-range '20:5e2x': give", {}},
      {{"--eq-filters", "0"}, Action::kUsageError, "tonvale: --eq-filters '0': give a whole", {}},
      {{"--eq-filters", "21"}, Action::kUsageError, "tonvale: --eq-filters '21': give", {}},
      {{"--eq-filters", "2.5"}, Action::kUsageError, "tonvale: --eq-filters '2.5': give", {}},
      {{"--eq-filters", "4294967297"},
       Action::kUsageError,
       "tonvale: --eq-filters '4294967297'",
       {}},
      {{"--eq-tilt", "nan"}, Action::kUsageError, "tonvale: --eq-tilt 'nan': give the slope", {}},
      {{"--eq-boost", "3.01"}, Action::kUsageError, "tonvale: --eq-boost '3.01': give the", {}},
      {{"--eq-boost", "-0.1"}, Action::kUsageError, "tonvale: --eq-boost '-0.1': give the", {}},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const CommandLine result = Parse(c.args);
    EXPECT_EQ(result.action, c.action);
    EXPECT_EQ(ExitStatusFor(result.action), c.action == Action::kUsageError ? 2 : 0);
    EXPECT_EQ(result.error.substr(0, c.error.size()), c.error);
    EXPECT_EQ(result.error.empty(), c.error.empty()) << result.error;
    if (c.action == Action::kRun) {
      EXPECT_EQ(result.options.device, c.options.device);
      EXPECT_EQ(result.options.saveDir, c.options.saveDir);
      EXPECT_EQ(result.options.micCalFile, c.options.micCalFile);
      const EqOptions& got = result.options.eq;
      const EqOptions& want = c.options.eq.enabled ? c.options.eq : off;
      EXPECT_EQ(got.enabled, want.enabled);
      EXPECT_EQ(got.lowHz, want.lowHz);
      EXPECT_EQ(got.highHz, want.highHz);
      EXPECT_EQ(got.filterCount, want.filterCount);
      EXPECT_EQ(got.tiltDbPerOctave, want.tiltDbPerOctave);
      EXPECT_EQ(got.boostDb, want.boostDb);
    }
  }
}

TEST(CommandLine, HelpNamesEveryOptionAndTheErrorTextEndsWithUsage) {
  const std::string help = HelpText();
  for (const char* name :
       {"-h, --help", "-V, --version", "-l, --list-devices", "-D, --device", "-s, --save",
        "-m, --mic-cal", "--eq ", "--eq-range", "--eq-filters", "--eq-tilt", "--eq-boost"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(UsageErrorText("tonvale: oops").rfind(std::string("tonvale: oops\n") + kUsageLine, 0),
            0U);
}

}  // namespace
