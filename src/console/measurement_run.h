#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "audio/sample_word.h"
#include "console/band_plan.h"
#include "console/console_input.h"
#include "console/settings.h"

inline constexpr std::uint32_t SAMPLE_RATE = 48000;
inline constexpr std::int32_t EDGE_PAD = 24000;
inline constexpr std::int32_t SYNC_LEN = 40384;

using SyncArray = std::array<SampleWord, SYNC_LEN>;

// One measurement of the room with the current settings, ending with the
// continue wait. Returns false when standard input ended during that wait.
bool RunMeasurement(const Settings& settings, const BandPlan& plan, double endHz,
                    std::string& reportText, SyncArray& pulseWords, SyncArray& syncWords,
                    CommandWord& commandWord);
