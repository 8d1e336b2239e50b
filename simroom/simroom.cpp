// The simulated room: an ALSA external I/O device that loops its outputs
// back to its inputs, output 2 through a cable and output 1 through a room.

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>

#include "clock.h"
#include "device.h"
#include "room.h"
#include "room_config.h"
#include "stream.h"

namespace simroom {
namespace {

using Lock = std::lock_guard<std::mutex>;

Stream& Of(snd_pcm_ioplug_t* io) {
  return *static_cast<Stream*>(io->private_data);
}

std::uint8_t* SampleAt(const snd_pcm_channel_area_t& area, snd_pcm_uframes_t frame) {
  return static_cast<std::uint8_t*>(area.addr) + (area.first + area.step * frame) / 8;
}

// Samples travel through the device on the 24-bit scale.
std::int32_t ReadSample(const std::uint8_t* p, snd_pcm_format_t format) {
  if (format == SND_PCM_FORMAT_S16_LE) {
    return static_cast<std::int16_t>(p[0] | (p[1] << 8)) * 256;
  }
  const std::int32_t raw = p[0] | (p[1] << 8) | (p[2] << 16);
  return (raw ^ 0x800000) - 0x800000;
}

void WriteSample(std::uint8_t* p, snd_pcm_format_t format, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  if (format == SND_PCM_FORMAT_S16_LE) {
    const auto sample16 = static_cast<std::uint32_t>(value >> 8);
    p[0] = static_cast<std::uint8_t>(sample16);
    p[1] = static_cast<std::uint8_t>(sample16 >> 8);
    return;
  }
  p[0] = static_cast<std::uint8_t>(bits);
  p[1] = static_cast<std::uint8_t>(bits >> 8);
  p[2] = static_cast<std::uint8_t>(bits >> 16);
}

// The device has been unplugged: from now on ALSA reports -ENODEV.
void Disconnect(Stream& s) {
  s.running = false;
  snd_pcm_ioplug_set_state(&s.io, SND_PCM_STATE_DISCONNECTED);
}

int Start(snd_pcm_ioplug_t* io) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  if (s.device->gone) {
    return -ENODEV;
  }
  s.running = true;
  s.startNs = MonotonicNs();
  s.ticks = 0;
  if (s.playback()) {
    s.device->PlaybackStarted(s.startNs);
  }
  UpdateTimer(s);
  return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  s.running = false;
  UpdateTimer(s);
  return 0;
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  SyncAppl(s);
  if (s.realtime) {
    Advance(s, false);
  } else {
    CheckFaults(s);
  }
  if (s.device->gone) {
    Disconnect(s);
    return s.lastPointer;
  }
  if (s.xrun) {
    return -EPIPE;
  }
  if (s.realtime) {
    s.lastPointer = static_cast<snd_pcm_sframes_t>(s.hw % s.boundary);
  } else if (s.running) {
    // Playback is taken as soon as it is written; capture always has a full buffer waiting.
    s.hw = s.playback() ? s.appl : s.appl + s.buffer;
    s.lastPointer = static_cast<snd_pcm_sframes_t>(s.hw % s.boundary);
  }
  UpdateTimer(s);
  return s.lastPointer;
}

void Play(Stream& s, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
          snd_pcm_uframes_t size) {
  for (snd_pcm_uframes_t i = 0; i < size; ++i) {
    const std::int32_t out1 = ReadSample(SampleAt(areas[0], offset + i), s.format);
    const std::int32_t out2 =
        s.channels > 1 ? ReadSample(SampleAt(areas[1], offset + i), s.format) : 0;
    const double room = s.path.Process(out1);
    s.device->Store(s.appl + static_cast<std::int64_t>(i), static_cast<float>(room), out2);
  }
}

void Record(Stream& s, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
            snd_pcm_uframes_t size) {
  const Device& device = *s.device;
  // Capture frame k hears what playback sent at frame k - delay. In real time
  // the two streams' frames are tied by when each started, as on hardware.
  std::int64_t shift = 0;
  bool heard = true;
  if (s.realtime) {
    heard = device.playbackStarted() && s.running;
    if (heard) {
      shift =
          std::llround(static_cast<double>(s.startNs - device.playbackStartNs()) * s.rate / 1e9);
    }
  }
  const RoomConfig& c = s.config;
  const bool calibrating = s.calibrator.has_value();
  for (snd_pcm_uframes_t i = 0; i < size; ++i) {
    // A late start or a slip moves the whole recording, noise and all.
    const std::int64_t at = c.HeardAt(s.appl + static_cast<std::int64_t>(i));
    double in1 = s.noise.At(at);
    double in2 = s.syncNoise.At(at);
    if (calibrating) {
      // The calibrator seals the microphone: it alone is heard, whether or not anything plays.
      in1 += s.calibrator->At(at);
    }
    if (heard) {
      const PlayedFrame* played =
          calibrating ? nullptr : device.Find(at + shift - c.loopDelay - c.acousticDelay);
      if (played != nullptr) {
        in1 += played->room;
      }
      if (c.cable) {
        if (const PlayedFrame* f = device.Find(at + shift - c.loopDelay)) {
          in2 += f->cable;
        }
      }
    }
    const std::int32_t microphone = Saturate24(in1);
    const std::int32_t ret = Saturate24(in2);
    WriteSample(SampleAt(areas[0], offset + i), s.format, c.swapInputs ? ret : microphone);
    if (s.channels > 1) {
      WriteSample(SampleAt(areas[1], offset + i), s.format, c.swapInputs ? microphone : ret);
    }
  }
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  if (s.device->gone) {
    Disconnect(s);
    return -ENODEV;
  }
  // ALSA moves its application pointer on after this returns; the next
  // callback picks that up.
  SyncAppl(s);
  if (s.playback()) {
    Play(s, areas, offset, size);
  } else {
    Record(s, areas, offset, size);
  }
  UpdateTimer(s);
  return static_cast<snd_pcm_sframes_t>(size);
}

int Close(snd_pcm_ioplug_t* io) {
  Stream* s = &Of(io);
  {
    const Lock lock(DeviceLock());
    ReleaseDevice(s->device);
  }
  if (s->fd >= 0) {
    close(s->fd);
  }
  delete s;
  return 0;
}

int HwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t* /*params*/) {
  Stream& s = Of(io);
  if (s.config.failHwParams.Has(s.direction)) {
    return -EIO;
  }
  const Lock lock(DeviceLock());
  s.format = io->format;
  s.channels = io->channels;
  s.rate = io->rate;
  s.period = static_cast<std::int64_t>(io->period_size);
  s.buffer = static_cast<std::int64_t>(io->buffer_size);
  // ALSA's own default until sw_params tells the real one.
  s.boundary = s.buffer;
  while (s.boundary <= (LONG_MAX - s.buffer) / 2) {
    s.boundary *= 2;
  }
  s.stopThreshold = s.buffer;
  s.availMin = s.period;
  return 0;
}

int SwParams(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params) {
  Stream& s = Of(io);
  snd_pcm_uframes_t boundary = 0;
  snd_pcm_uframes_t stop = 0;
  snd_pcm_uframes_t availMin = 0;
  snd_pcm_sw_params_get_boundary(params, &boundary);
  snd_pcm_sw_params_get_stop_threshold(params, &stop);
  snd_pcm_sw_params_get_avail_min(params, &availMin);
  const Lock lock(DeviceLock());
  if (boundary > 0) {
    s.boundary = static_cast<std::int64_t>(boundary);
  }
  s.stopThreshold =
      stop > static_cast<snd_pcm_uframes_t>(LONG_MAX) ? LONG_MAX : static_cast<std::int64_t>(stop);
  s.availMin = availMin > 0 ? static_cast<std::int64_t>(availMin) : 1;
  return 0;
}

int Prepare(snd_pcm_ioplug_t* io) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  if (s.device->gone) {
    return -ENODEV;
  }
  s.movedBefore = s.moved();
  s.running = false;
  s.xrun = false;
  s.ticks = 0;
  s.hw = 0;
  s.appl = 0;
  s.lastApplPtr = 0;  // ALSA has reset its pointers before calling here
  s.lastPointer = 0;
  if (s.playback()) {
    s.device->BeginPlaybackRun();
    s.path.Reset();
  }
  UpdateTimer(s);
  return 0;
}

int Drain(snd_pcm_ioplug_t* io) {
  Stream& s = Of(io);
  if (!s.playback() || !s.realtime) {
    return 0;  // fast playback has played everything already
  }
  for (;;) {
    std::int64_t wakeNs = 0;
    {
      const Lock lock(DeviceLock());
      SyncAppl(s);
      if (!s.running && !s.xrun && !s.device->gone && s.appl > s.hw) {
        // Queued but never started: draining starts it, as on hardware.
        s.running = true;
        s.startNs = MonotonicNs();
        s.ticks = 0;
        s.device->PlaybackStarted(s.startNs);
      }
      Advance(s, true);
      if (!s.running || s.xrun || s.device->gone || s.hw >= s.appl) {
        s.running = false;
        return 0;
      }
      wakeNs = BoundaryNs(s, s.ticks + 1);
    }
    const timespec wake{static_cast<time_t>(wakeNs / 1000000000),
                        static_cast<long>(wakeNs % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
    }
  }
}

int PollRevents(snd_pcm_ioplug_t* io, struct pollfd* /*pfd*/, unsigned int /*nfds*/,
                unsigned short* revents) {
  Stream& s = Of(io);
  const Lock lock(DeviceLock());
  SyncAppl(s);
  if (s.realtime) {
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t ignored = read(s.fd, &expirations, sizeof expirations);
    Advance(s, false);
  }
  const unsigned short ready = s.playback() ? POLLOUT : POLLIN;
  if (s.device->gone) {
    Disconnect(s);
    *revents = POLLERR;
  } else if (s.xrun) {
    // The state must say XRUN before POLLERR, or the waiting call fails with -EIO.
    snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
    *revents = POLLERR;
  } else if (!s.realtime || !s.running || Avail(s) >= s.availMin) {
    *revents = ready;
  } else {
    *revents = 0;
  }
  UpdateTimer(s);
  return 0;
}

constexpr snd_pcm_ioplug_callback_t kCallbacks = {
    .start = Start,
    .stop = Stop,
    .pointer = Pointer,
    .transfer = Transfer,
    .close = Close,
    .hw_params = HwParams,
    .hw_free = nullptr,
    .sw_params = SwParams,
    .prepare = Prepare,
    .drain = Drain,
    .pause = nullptr,
    .resume = nullptr,
    .poll_descriptors_count = nullptr,
    .poll_descriptors = nullptr,
    .poll_revents = PollRevents,
    .dump = nullptr,
    .delay = nullptr,
    .query_chmaps = nullptr,
    .get_chmap = nullptr,
    .set_chmap = nullptr,
};

int SetConstraints(Stream& s) {
  snd_pcm_ioplug_t* io = &s.io;
  const RoomConfig& c = s.config;
  // mmap access too, which ALSA's conversion plugins (plug:) ask of their slave.
  static const unsigned kAccess[] = {
      SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_RW_NONINTERLEAVED,
      SND_PCM_ACCESS_MMAP_INTERLEAVED, SND_PCM_ACCESS_MMAP_NONINTERLEAVED};
  // A device that refuses the 24-bit format still offers 16 bits, as a
  // plain consumer interface would.
  const unsigned format =
      c.refuseFormat.Has(s.direction) ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_S24_3LE;
  const unsigned frameBytes = (format == SND_PCM_FORMAT_S16_LE ? 2U : 3U) * c.channels;
  const unsigned minPeriod = c.periodFrames != 0 ? c.periodFrames : 16;
  const unsigned maxPeriod = c.periodFrames != 0 ? c.periodFrames : 65536;
  int err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 4, kAccess);
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, &format);
  }
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, c.channels, c.channels);
  }
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, c.rate, c.rate);
  }
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES,
                                          minPeriod * frameBytes, maxPeriod * frameBytes);
  }
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024);
  }
  if (err >= 0) {
    err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES,
                                          2 * minPeriod * frameBytes, (1U << 18) * frameBytes);
  }
  return err;
}

int Open(snd_pcm_t** pcmp, const char* name, snd_config_t* conf, snd_pcm_stream_t stream,
         int mode) {
  RoomConfig config;
  try {
    if (const int err = ParseRoomConfig(conf, config); err < 0) {
      return err;
    }
  } catch (const std::bad_alloc&) {
    return -ENOMEM;
  }
  // A device held by another program: the usual way an open fails.
  if (config.failOpen.Has(stream)) {
    return -EBUSY;
  }
  // The room's impulse response is made once, for the stream that plays into it.
  std::unique_ptr<Convolver> convolver;
  if (stream == SND_PCM_STREAM_PLAYBACK) {
    if (const int err = MakeRoomConvolver(config, convolver); err < 0) {
      return err;
    }
  }

  Device* device = nullptr;
  {
    const Lock lock(DeviceLock());
    device = AcquireDevice(name != nullptr ? name : "simroom");
  }
  auto* s = new (std::nothrow) Stream(config, device, stream, std::move(convolver));
  if (s == nullptr) {
    const Lock lock(DeviceLock());
    ReleaseDevice(device);
    return -ENOMEM;
  }
  s->fd = s->realtime ? timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)
                      : eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
  int err = s->fd < 0 ? -errno : 0;
  if (err == 0) {
    s->io.version = SND_PCM_IOPLUG_VERSION;
    s->io.name = "Simulated room";
    s->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA | SND_PCM_IOPLUG_FLAG_MONOTONIC;
    s->io.poll_fd = s->fd;
    s->io.poll_events = POLLIN;
    s->io.mmap_rw = 0;
    s->io.callback = &kCallbacks;
    s->io.private_data = s;
    err = snd_pcm_ioplug_create(&s->io, name, stream, mode);
    if (err == 0) {
      err = SetConstraints(*s);
      if (err < 0) {
        snd_pcm_ioplug_delete(&s->io);  // closes through Close, which frees s
        return err;
      }
      *pcmp = s->io.pcm;
      return 0;
    }
  }
  if (s->fd >= 0) {
    close(s->fd);
  }
  {
    const Lock lock(DeviceLock());
    ReleaseDevice(device);
  }
  delete s;
  return err;
}

}  // namespace
}  // namespace simroom

extern "C" {
SND_PCM_PLUGIN_DEFINE_FUNC(simroom) {
  (void)root;
  return simroom::Open(pcmp, name, conf, stream, mode);
}
SND_PCM_PLUGIN_SYMBOL(simroom);
}
