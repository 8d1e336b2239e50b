#pragma once

#include <cstdint>
#include <string>

#include "console/band_plan.h"
#include "console/console_input.h"
#include "console/measurement_run.h"
#include "console/settings.h"

// Everything that outlives one command. main keeps it in static storage: the
// two sync arrays alone are 40384 words each.
struct ConsoleState {
  Settings settings{};
  BandPlan plan{};
  double endHz = 0.0;
  std::string reportText{};
  CommandWord commandWord{};
  std::int32_t presetChoice = 0;
  SyncArray pulseWords{};
  SyncArray syncWords{};
  // Where a proposed setting's band plan is tried out before it is accepted.
  BandPlan scratchPlan{};
};

// Prints the warning banner and runs the command loop on standard input and
// output until "x" or the end of input; returns the exit status (0).
int RunConsole(ConsoleState& state);
