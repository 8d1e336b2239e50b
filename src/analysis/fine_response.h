#pragma once

#include <cstdint>

#include "analysis/response_point.h"
#include "analysis/room_response.h"

// Points per octave of the fine response, and the width in octaves of the
// window each point averages over. A room's modes, below a few hundred Hz,
// are as narrow as a Q of 25 (1/17 octave wide at half power): there the
// window is 1/96 octave, which leaves a mode's peak within 0.1 dB, so that
// correction filters are designed on the modes as they are, and the
// response shows what a correction left of them. It widens to 1/12 octave
// between kModalTopHz and twice that.
inline constexpr double kFinePointsPerOctave = 48.0;
inline constexpr double kFineSmoothingOctaves = 1.0 / 12.0;
inline constexpr double kModalSmoothingOctaves = 1.0 / 96.0;
inline constexpr double kModalTopHz = 200.0;

// The width of the window at hz, in octaves.
double FineSmoothingOctaves(double hz);

// The room's response at 1/48-octave points from range.startHz up to
// range.TopHz(). Each point averages the bins of its window that
// lie inside the swept range: the level is the power average of |H|^2 (0 dB:
// the recording equals the played signal), the phase the angle of the
// complex average of H with the time of flight taken out (H times
// exp(+j 2 pi f timeOfFlight / rate)), in degrees within (-180, 180]. Empty
// when the range holds no frequency or room holds no transfer function.
FineResponse ComputeFineResponse(const RoomResponse& room, const SweepRange& range,
                                 std::int32_t timeOfFlight);
