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

// Computes the same plan into low and high and tells whether every edge, the
// truncated start included, stays inside the signed 32-bit range. (Where an
// edge would leave it, FindHighFreq pins it to the end of the range; callers
// that must not accept such a plan check here first.)
bool BandPlanFits(double qFactor, std::int32_t bandCount, double startHz, double* low,
                  double* high);
