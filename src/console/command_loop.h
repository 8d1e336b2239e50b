#pragma once

#include <optional>

#include "audio/device_failure.h"
#include "console/console_input.h"
#include "measurement/run_options.h"
#include "setup/settings.h"

// Prints the warning banner and runs the command loop on io, from the given
// settings, until "x" or the end of input. Returns the failure when the sound
// device could not be set up for a measurement: the program ends with it,
// unprinted.
std::optional<DeviceFailure> RunConsole(const ConsoleStreams& io, const Settings& start = {},
                                        const RunOptions& run = {});
