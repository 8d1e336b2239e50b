#include "console/start_up.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "console/command_loop.h"
#include "files/run_files.h"
#include "measurement/batch_runs.h"
#include "measurement/level_modes.h"
#include "measurement/spl_calibration.h"
#include "report/run_texts.h"

namespace {

bool LoadCalibrations(const Options& options, Calibrations& calibrations) {
  if (!options.micCalFile.empty()) {
    MicCalibrationResult loaded = LoadMicCalibration(options.micCalFile);
    if (!loaded.calibration) {
      std::fprintf(stderr, "tonvale: %s\n", loaded.error.c_str());
      return false;
    }
    calibrations.microphone = std::move(loaded.calibration);
    calibrations.microphoneFile = options.micCalFile;
  }
  calibrations.splOffsetDb = options.splOffsetDb;
  if (!options.splCalFile.empty()) {
    const SplCalibrationResult loaded = LoadSplCalibration(options.splCalFile);
    if (!loaded.offsetDb) {
      std::fprintf(stderr, "tonvale: %s\n", loaded.error.c_str());
      return false;
    }
    calibrations.splOffsetDb = loaded.offsetDb;
    calibrations.splFile = options.splCalFile;
  }
  return true;
}

}  // namespace

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
  run.choices.sweep = options.sweep;
  if (options.levelDbfs) {
    run.choices.amplitude = std::pow(10.0, *options.levelDbfs / 20.0);
  }
  run.choices.acousticBands =
      options.thirdOctaves ? AcousticBands::kThirdOctaves : AcousticBands::kOctaves;
  if (!LoadCalibrations(options, run.choices.calibrations)) {
    return false;
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

Expected<bool, DeviceFailure> RunMode(const Options& options, const Settings& settings,
                                      const RunOptions& run) {
  const RunOutput io{stdout, stderr};
  const MeasurementSetup setup = MakeSetup(settings, run.choices);
  if (options.calibrateDbSpl) {
    return RunSplCalibration(io, setup, *options.calibrateDbSpl,
                             run.saveDir.empty() ? "." : run.saveDir);
  }
  if (options.levelCheck) {
    return RunLevelCheck(io, setup);
  }
  if (options.runs > 0) {
    return RunBatch({.runs = options.runs, .pauseSeconds = options.pauseSeconds, .in = stdin},
                    setup, run, io);
  }
  if (auto failure = RunConsole({stdin, stdout, stderr}, settings, run)) {
    return Unexpected{std::move(*failure)};
  }
  return true;
}
