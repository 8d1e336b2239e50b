#pragma once

#include "audio/device_failure.h"
#include "base/expected.h"
#include "console/options.h"
#include "measurement/run_options.h"
#include "setup/settings.h"

// What the options make of the program's start: the device, the files they
// name (calibrations), the save folder made and checked once. False, having
// said why on standard error, when one of them cannot be used.
bool PrepareRun(const Options& options, Settings& settings, RunOptions& run);

// The program's work after the options: the menu, the batch of runs, the
// level calibration or the level check. True when every measurement passed
// its checks (the menu always counts as such), or the device failure.
Expected<bool, DeviceFailure> RunMode(const Options& options, const Settings& settings,
                                      const RunOptions& run);
