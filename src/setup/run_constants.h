#pragma once

#include <cstdint>
#include <limits>

// The fixed shape of every measurement.
inline constexpr std::uint32_t SAMPLE_RATE = 48000;
// Silence before and after the sweep, and before the sync burst.
inline constexpr std::int32_t EDGE_PAD = SAMPLE_RATE / 2;
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

// The longest sweep. The run sizes its buffers in signed 32-bit counts, and
// its widest buffers, the impulse response's transforms, take 8 bytes per
// sample; capping
// the sweep at a whole number of seconds keeps even that byte count in range
// (5591 s is over an hour and a half, far beyond any sensible sweep).
inline constexpr double kMaxSweepSeconds = 5591.0;
inline constexpr long long kWidestBytesPerSample = 8;
static_assert(kWidestBytesPerSample * (static_cast<long long>(SAMPLE_RATE) *
                                           static_cast<long long>(kMaxSweepSeconds) +
                                       2LL * EDGE_PAD) <=
                  std::numeric_limits<std::int32_t>::max(),
              "the longest sweep must fit the run's 32-bit sizes");
