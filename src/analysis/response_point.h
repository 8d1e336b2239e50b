#pragma once

#include <vector>

// One point of a measured (or predicted) frequency response.
struct ResponsePoint {
  double hz = 0.0;
  double db = 0.0;        // |H| in dB; 0 dB: the input equals the output
  double phaseDeg = 0.0;  // with the time of flight taken out
};

// Points at rising frequencies.
using FineResponse = std::vector<ResponsePoint>;
