#include "clock.h"

#include <sys/timerfd.h>

#include <ctime>

namespace simroom {

namespace {
__extension__ using Wide = unsigned __int128;
constexpr std::int64_t kNsPerSecond = 1000000000;
}  // namespace

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * kNsPerSecond + ts.tv_nsec;
}

std::int64_t BoundaryNs(const Stream& s, std::int64_t n) {
  // Rounded up, so that a wake-up at this time always finds the boundary due.
  const Wide num = static_cast<Wide>(n) * static_cast<Wide>(s.period) * kNsPerSecond;
  return s.startNs + static_cast<std::int64_t>((num + s.rate - 1) / s.rate);
}

namespace {
std::int64_t TicksDue(const Stream& s, std::int64_t nowNs) {
  if (nowNs <= s.startNs) {
    return 0;
  }
  const Wide num = static_cast<Wide>(nowNs - s.startNs) * s.rate;
  return static_cast<std::int64_t>(num / (static_cast<Wide>(s.period) * kNsPerSecond));
}
}  // namespace

std::int64_t Avail(const Stream& s) {
  return s.playback() ? s.buffer - (s.appl - s.hw) : s.hw - s.appl;
}

void CheckFaults(Stream& s) {
  const std::int64_t xrunPeriod =
      s.playback() ? s.config.xrunPlaybackPeriod : s.config.xrunCapturePeriod;
  if (xrunPeriod != kNoPeriod && !s.forcedXrunDone && s.moved() >= xrunPeriod * s.period) {
    s.forcedXrunDone = true;
    s.xrun = true;
  }
  if (s.config.goneAfterPeriod != kNoPeriod && s.moved() >= s.config.goneAfterPeriod * s.period) {
    s.device->gone = true;
  }
}

void Advance(Stream& s, bool draining) {
  if (!s.realtime || !s.running || s.xrun || s.device->gone) {
    return;
  }
  const std::int64_t due = TicksDue(s, MonotonicNs());
  while (s.ticks < due) {
    ++s.ticks;
    s.hw += s.period;
    CheckFaults(s);
    if (s.xrun || s.device->gone) {
      return;
    }
    if (draining && s.playback() && s.hw >= s.appl) {
      s.running = false;
      return;
    }
    if (Avail(s) >= s.stopThreshold) {
      s.xrun = true;
      return;
    }
  }
}

void SyncAppl(Stream& s) {
  const auto now = static_cast<snd_pcm_uframes_t>(s.io.appl_ptr);
  const auto boundary = static_cast<snd_pcm_uframes_t>(s.boundary);
  s.appl += static_cast<std::int64_t>((now + boundary - s.lastApplPtr) % boundary);
  s.lastApplPtr = now;
}

void UpdateTimer(const Stream& s) {
  if (!s.realtime || s.fd < 0) {
    return;
  }
  itimerspec when{};
  std::int64_t at = 1;  // long past: fires at once
  if (s.running && !s.xrun && !s.device->gone && Avail(s) < s.availMin) {
    at = BoundaryNs(s, s.ticks + 1);
  }
  when.it_value.tv_sec = at / kNsPerSecond;
  when.it_value.tv_nsec = at % kNsPerSecond;
  timerfd_settime(s.fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

}  // namespace simroom
