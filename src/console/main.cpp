#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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

// The status to end with once standard output has taken everything written
// to it: scripts read the dialogue and the tables from it, so a full disk
// or a device that takes nothing must not pass for success.
int Finish(int status) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const int error = errno;
    std::fprintf(stderr, "tonvale: could not write standard output%s%s\n", error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
    return status == 0 ? kExitOutput : status;
  }
  return status;
}

int Run(const CommandLine& line) {
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
      return Finish(0);
    case CommandLineAction::kVersion:
      std::fputs(kVersionText, stdout);
      return Finish(0);
    case CommandLineAction::kUsageError:
      std::fputs(UsageErrorText(line.error).c_str(), stderr);
      return kExitUsage;
    case CommandLineAction::kListDevices:
      return Finish(ListDevices());
    case CommandLineAction::kRun:
      break;
  }
  return Finish(Run(line));
}
