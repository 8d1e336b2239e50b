#pragma once

#include <array>
#include <cstdint>

struct Settings {
  double qFactor = 4.0;
  std::int32_t bandCount = 31;
  double startHz = 18.0;
  double sweepSeconds = 10.0;
  std::array<char, 16> deviceName{"default"};
};
