#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <span>

#include "audio/device_list.h"
#include "console/command_loop.h"
#include "console/options.h"
#include "files/run_files.h"
#include "report/run_texts.h"

namespace {

// What the options make of the program's start; false, having said why,
// when a file they name cannot be used.
bool PrepareRun(const Options& options, Settings& settings, RunOptions& run) {
  if (!options.device.empty()) {
    // The command line has checked that the name fits.
    settings.deviceName.fill('\0');
    std::memcpy(settings.deviceName.data(), options.device.data(), options.device.size());
  }
  run.saveDir = options.saveDir;
  run.eq = options.eq;
  if (run.eq.enabled && run.saveDir.empty()) {
    std::fputs("tonvale: --eq writes its filters into the save folder: add --save DIR\n", stderr);
    return false;
  }
  if (!options.micCalFile.empty()) {
    MicCalibrationResult loaded = LoadMicCalibration(options.micCalFile);
    if (!loaded.calibration) {
      std::fprintf(stderr, "tonvale: %s\n", loaded.error.c_str());
      return false;
    }
    run.calibrations.microphone = std::move(loaded.calibration);
    run.calibrations.microphoneFile = options.micCalFile;
  }
  // The save folder is made and checked once, before anything is measured.
  if (!run.saveDir.empty()) {
    if (auto folder = EnsureWritableFolder(run.saveDir); !folder) {
      std::fprintf(stderr, "tonvale: %s\n", DescribeFileError(folder.error()).c_str());
      return false;
    }
  }
  return true;
}

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
  const std::optional<DeviceFailure> failure = RunConsole({stdin, stdout, stderr}, settings, run);
  if (!failure) {
    return 0;
  }
  std::fputs(failure->message.c_str(), failure->onStdout ? stdout : stderr);
  std::fflush(stdout);
  std::fputs(failure->hint.c_str(), stderr);
  return 1;
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
