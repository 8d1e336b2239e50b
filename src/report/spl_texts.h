#pragma once

#include <string>

#include "analysis/calibrator_tone.h"
#include "analysis/level_check.h"

// What the calibration and the level check say, one line each, newline
// included, for standard output of their own modes.

// The offset found, or why the recording gives none and what to do.
std::string CalibratorToneLine(const CalibratorTone& tone);

// One line for each input: its figures, then "good" or what to change.
std::string LevelCheckLines(const LevelCheck& check);
