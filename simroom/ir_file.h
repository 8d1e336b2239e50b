#pragma once

// An impulse response read from a sound file for the room to play output 1 through.

#include <string>
#include <vector>

namespace simroom {

// The longest response accepted, far above any real room's.
inline constexpr double kMaxIrSeconds = 20.0;

// Reads the first channel of the file at `path` into out, as libsndfile
// gives it in doubles (integer formats scaled so that full scale is 1.0).
// The file must be at `rate` and hold between 1 frame and kMaxIrSeconds.
// Failures are named through SNDERR and give -EINVAL (-ENOMEM without memory).
int LoadImpulseResponse(const std::string& path, unsigned rate, std::vector<double>& out);

}  // namespace simroom
