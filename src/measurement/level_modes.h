#pragma once

#include <filesystem>

#include "audio/device_failure.h"
#include "base/expected.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// The two steps before measuring, each a mode of its own that plays and
// records once and ends the program: true when it succeeded, false when its
// recording failed the checks (what to change is said on io), or the
// failure of the device.

// Records input 1 for a few seconds with the outputs silent while a sound-
// level calibrator of calibratorDbSpl sits on the microphone, and writes
// spl-calibration.txt into folder (the figure also on io.err).
Expected<bool, DeviceFailure> RunSplCalibration(const RunOutput& io, const MeasurementSetup& setup,
                                                double calibratorDbSpl,
                                                const std::filesystem::path& folder);

// Plays pink noise at the sweep's level on the stimulus output and the sync
// burst on the loop-back output, and says for each input its level, its
// headroom, and what to change.
Expected<bool, DeviceFailure> RunLevelCheck(const RunOutput& io, const MeasurementSetup& setup);
