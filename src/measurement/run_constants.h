#pragma once

#include <cstdint>

// The fixed shape of every measurement.
inline constexpr std::uint32_t SAMPLE_RATE = 48000;
// Silence before and after the sweep, and before the sync burst.
inline constexpr std::int32_t EDGE_PAD = 24000;
// The sync burst's array, and the stretch of input 2 searched for its return.
inline constexpr std::int32_t SYNC_LEN = 40384;
// What the transfer asks the device for.
inline constexpr unsigned PERIOD_FRAMES = 1024;
inline constexpr unsigned BUFFER_FRAMES = 4096;
// Two channels of 24-bit samples packed in three bytes.
inline constexpr std::int32_t kChannels = 2;
inline constexpr std::int32_t kSampleBytes = 3;
// The sweep and the burst play 6 dB below full scale.
inline constexpr double kSweepAmplitude = 0.5;
// The highest tone the sweep plays: the Nyquist frequency at 48000 Hz.
inline constexpr double kHighestToneHz = 24000.0;
