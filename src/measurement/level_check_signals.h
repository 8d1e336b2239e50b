#pragma once

#include <cstdint>
#include <vector>

#include "analysis/level_check.h"
#include "audio/sample_word.h"
#include "setup/run_constants.h"

// What the level check plays: after the run's lead-in of silence, pink noise
// on output 1 with the sweep's peak, and the run's sync burst on output 2 at
// the same moment as in a run, then the run's silence after.
inline constexpr std::int32_t kLevelCheckNoiseSamples = 3 * SAMPLE_RATE;

struct LevelCheckSignals {
  std::vector<SampleWord> output1;
  std::vector<SampleWord> output2;
  std::int32_t burstCrest = 0;

  // Where everything lies, for CheckLevels; it refers to output2.
  [[nodiscard]] LevelCheckPlayback Playback() const;
};

// amplitude: the noise's peak, as the sweep's (full scale 1).
LevelCheckSignals MakeLevelCheckSignals(double amplitude);
