#pragma once

#include <cstdint>

#include "analysis/response_point.h"
#include "analysis/room_response.h"

// Points per octave of the fine response, and the width in octaves of the
// window each point averages over.
inline constexpr double kFinePointsPerOctave = 48.0;
inline constexpr double kFineSmoothingOctaves = 1.0 / 12.0;

// The room's response at 1/48-octave points from range.startHz up to
// range.TopHz(). Each point averages the bins of its 1/12-octave window that
// lie inside the swept range: the level is the power average of |H|^2 (0 dB:
// the recording equals the played signal), the phase the angle of the
// complex average of H with the time of flight taken out (H times
// exp(+j 2 pi f timeOfFlight / rate)), in degrees within (-180, 180]. Empty
// when the range holds no frequency or room holds no transfer function.
FineResponse ComputeFineResponse(const RoomResponse& room, const SweepRange& range,
                                 std::int32_t timeOfFlight);
