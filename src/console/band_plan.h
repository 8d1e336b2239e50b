#pragma once

#include <array>
#include <cstdint>

inline constexpr std::int32_t kMaxBands = 1024;

struct BandPlan {
  std::array<double, kMaxBands> low{};
  std::array<double, kMaxBands> high{};
};

// Computes the band edges and returns the end frequency (the top edge, or the
// truncated start when bandCount is 0 or less).
double FindHighFreq(double qFactor, std::int32_t bandCount, double startHz, double* low,
                    double* high);
