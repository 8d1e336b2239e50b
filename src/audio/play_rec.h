#pragma once

#include <cstdint>

inline constexpr unsigned PERIOD_FRAMES = 1024;
inline constexpr unsigned BUFFER_FRAMES = 4096;

// Plays playBuffer and records recordBuffer (two planes each, planeBytes
// apart) through the ALSA device deviceName at the same time. Ends the
// process with status 1 when the device cannot be set up.
void PLAY_REC(std::int32_t channels, std::int32_t mode, const char* deviceName, std::uint32_t rate,
              std::int32_t reserved, std::int32_t frameCount, const std::int8_t* playBuffer,
              std::int8_t* recordBuffer, std::int32_t sampleBytes, std::int32_t planeBytes);
