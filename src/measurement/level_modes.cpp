#include "measurement/level_modes.h"

#include <chrono>

#include "analysis/calibrator_tone.h"
#include "audio/capture.h"
#include "files/run_files.h"
#include "measurement/level_check_signals.h"
#include "measurement/spl_calibration.h"
#include "report/progress_bar.h"
#include "report/run_texts.h"
#include "report/spl_texts.h"

namespace {

// Long enough for a steady reading, short enough to hold a calibrator still.
constexpr std::int32_t kCalibrationSeconds = 4;

Expected<Recording, DeviceFailure> Play(const RunOutput& io, const MeasurementSetup& setup,
                                        std::span<const SampleWord> first,
                                        std::span<const SampleWord> second) {
  ProgressBar bar(io.err);
  const std::span<const SampleWord> outputs[kChannels] = {first, second};
  return PlayAndRecord({.deviceName = setup.deviceName.c_str(),
                        .channels = kChannels,
                        .rate = setup.rate,
                        .period = PERIOD_FRAMES,
                        .buffer = BUFFER_FRAMES},
                       outputs,
                       {.started = {}, .progress = [&bar](std::int64_t done, std::int64_t total) {
                          bar.Update(done, total);
                        }});
}

SplCalibrationRecord RecordOf(const CalibratorTone& tone, double calibratorDbSpl,
                              const MeasurementSetup& setup) {
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return {.offsetDb = tone.offsetDb,
          .calibratorDbSpl = calibratorDbSpl,
          .date = std::chrono::year_month_day{today},
          .device = setup.deviceName};
}

}  // namespace

Expected<bool, DeviceFailure> RunSplCalibration(const RunOutput& io, const MeasurementSetup& setup,
                                                double calibratorDbSpl,
                                                const std::filesystem::path& folder) {
  const std::vector<SampleWord> silence(static_cast<std::size_t>(kCalibrationSeconds) * setup.rate);
  auto recorded = Play(io, setup, silence, silence);
  if (!recorded) {
    return Unexpected{recorded.error()};
  }
  const CalibratorTone tone = MeasureCalibratorTone(
      {.samples = recorded->inputs.at(static_cast<std::size_t>(setup.channels.microphoneInput)),
       .rate = static_cast<double>(setup.rate),
       .calibratorDbSpl = calibratorDbSpl});
  std::fputs(CalibratorToneLine(tone).c_str(), io.err);
  if (tone.fault != ToneFault::kNone) {
    return false;
  }
  const std::filesystem::path file = folder / kSplCalibrationFileName;
  if (auto written = PlaceText(file, Placing::kReplace,
                               WriteSplCalibration(RecordOf(tone, calibratorDbSpl, setup)));
      !written) {
    std::fprintf(io.err, "%s\n", DescribeFileError(written.error()).c_str());
    return false;
  }
  std::fprintf(io.err, "0 dBFS = %.2f dB SPL\nSaved %s; measure with --spl-cal %s.\n",
               tone.offsetDb, file.c_str(), file.c_str());
  return true;
}

Expected<bool, DeviceFailure> RunLevelCheck(const RunOutput& io, const MeasurementSetup& setup) {
  const LevelCheckSignals signals = MakeLevelCheckSignals(setup.stimulus.amplitude);
  auto recorded = Play(io, setup, signals.output1, signals.output2);
  if (!recorded) {
    return Unexpected{recorded.error()};
  }
  const LevelCheck check =
      CheckLevels(recorded->inputs.at(static_cast<std::size_t>(setup.channels.microphoneInput)),
                  recorded->inputs.at(static_cast<std::size_t>(setup.channels.loopbackInput)),
                  signals.Playback());
  std::fputs(LevelCheckLines(check).c_str(), io.out);
  return check.advice.empty();
}
