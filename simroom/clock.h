#pragma once

// The device's clocks. "fast" keeps pace with the application; "realtime"
// moves each running stream one whole period per period of CLOCK_MONOTONIC,
// replayed lazily whenever ALSA asks, so that no amount of CPU load can make
// the device itself late.

#include <cstdint>

#include "stream.h"

namespace simroom {

std::int64_t MonotonicNs();

// When the stream's boundary n falls (real time).
std::int64_t BoundaryNs(const Stream& s, std::int64_t n);

// Frames the application may move now without waiting.
std::int64_t Avail(const Stream& s);

// Brings a real-time stream up to now, boundary by boundary, and applies the
// hardware's rules at each: an underrun when playback has nothing left, an
// overrun when capture is full, and the configured faults. While draining,
// playback that runs out simply stops.
void Advance(Stream& s, bool draining);

// The configured xrun and disappearance, by the stream's period count.
void CheckFaults(Stream& s);

// Follows ALSA's application pointer: data moved by read and write calls and
// by mmap commits alike.
void SyncAppl(Stream& s);

// Arms the real-time stream's timerfd so that poll() wakes when the
// application could go on: at once when it already can, else at the next boundary.
void UpdateTimer(const Stream& s);

}  // namespace simroom
