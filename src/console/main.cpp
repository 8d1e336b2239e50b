#include <csignal>
#include <cstdio>
#include <span>

#include "audio/device_list.h"
#include "console/options.h"
#include "console/start_up.h"

namespace {

int ListDevices() {
  const SoundDeviceList list = ListDuplexDevices();
  if (!list.error.empty()) {
    std::fprintf(stderr, "tonvale: %s\n", list.error.c_str());
    return 1;
  }
  std::fputs(FormatDeviceList(list.devices).c_str(), stdout);
  return 0;
}

}  // namespace

// The one place where the program ends.
int main(int argc, char** argv) {
  // A results file over the size limit must fail its write, which is then
  // taken back, instead of killing the program with half a table in it.
  (void)std::signal(SIGXFSZ, SIG_IGN);
  const CommandLine line = ParseCommandLine(std::span(argv, static_cast<std::size_t>(argc)));
  switch (line.action) {
    case CommandLineAction::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case CommandLineAction::kVersion:
      std::fputs(kVersionText, stdout);
      return 0;
    case CommandLineAction::kUsageError:
      std::fputs(UsageErrorText(line.error).c_str(), stderr);
      return kExitUsage;
    case CommandLineAction::kListDevices:
      return ListDevices();
    case CommandLineAction::kRun:
      break;
  }
  Settings settings;
  RunOptions run;
  if (!PrepareRun(line.options, settings, run)) {
    return kExitUsage;
  }
  const Expected<bool, DeviceFailure> done = RunMode(line.options, settings, run);
  if (!done) {
    const DeviceFailure& failure = done.error();
    std::fputs(failure.message.c_str(), failure.onStdout ? stdout : stderr);
    std::fflush(stdout);
    std::fputs(failure.hint.c_str(), stderr);
    return kExitDevice;
  }
  return *done ? 0 : kExitChecksFailed;
}
