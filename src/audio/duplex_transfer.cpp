#include "audio/duplex_transfer.h"

#include <cerrno>
#include <vector>

namespace {

// A device that fails this many times in a row without a single period
// coming in is not going to recover.
constexpr int kMaxFailuresInARow = 4;
// Interrupted or not-ready transfers are tried again this often.
constexpr int kMaxRetries = 8;

enum class Direction { kPlayback, kCapture };

// Errors after which the stream cannot be brought back by preparing it.
bool DeviceIsGone(int err) {
  return err == -ENODEV || err == -ENXIO || err == -ESHUTDOWN || err == -EBADFD;
}

class PeriodMover {
 public:
  PeriodMover(const DuplexLayout& layout, TransferStats& stats)
      : layout_(layout), stats_(stats), planes_(static_cast<std::size_t>(layout.channels)) {}

  // Moves the period with the given index; returns 0, or the negative error
  // code that stopped it.
  int Move(snd_pcm_t* pcm, Direction direction, std::int64_t periodIndex) {
    const auto period = static_cast<snd_pcm_sframes_t>(layout_.period);
    const std::int64_t first = periodIndex * period;
    snd_pcm_sframes_t done = 0;
    int retries = 0;
    while (done < period) {
      PointAt(direction, first + done);
      const auto frames = static_cast<snd_pcm_uframes_t>(period - done);
      const snd_pcm_sframes_t moved = direction == Direction::kPlayback
                                          ? snd_pcm_writen(pcm, planes_.data(), frames)
                                          : snd_pcm_readn(pcm, planes_.data(), frames);
      if (moved == -EINTR || moved == -EAGAIN) {
        if (++retries <= kMaxRetries) {
          continue;
        }
      }
      if (moved < 0) {
        return static_cast<int>(moved);
      }
      // A blocking transfer that moves nothing and reports no error would
      // spin here forever.
      if (moved == 0) {
        return -EIO;
      }
      if (moved < period - done) {
        ++stats_.shortCounts;
      }
      done += moved;
    }
    return 0;
  }

 private:
  void PointAt(Direction direction, std::int64_t frame) {
    const std::int64_t offset = frame * layout_.sampleBytes;
    for (std::size_t c = 0; c < planes_.size(); ++c) {
      const std::int64_t at = offset + static_cast<std::int64_t>(c) * layout_.planeBytes;
      // ALSA takes one non-const pointer list for both directions; playback
      // only ever reads through it.
      planes_[c] = direction == Direction::kPlayback
                       ? const_cast<std::int8_t*>(layout_.playBuffer + at)
                       : layout_.recordBuffer + at;
    }
  }

  const DuplexLayout& layout_;
  TransferStats& stats_;
  std::vector<void*> planes_;
};

// Stops both streams and makes them ready to start again together; returns
// 0, or the error of the call that failed.
int Realign(snd_pcm_t* playback, snd_pcm_t* capture, const char*& operation) {
  struct Step {
    int (*call)(snd_pcm_t*);
    snd_pcm_t* pcm;
    const char* name;
  };
  const Step steps[] = {{snd_pcm_drop, playback, "stopping playback"},
                        {snd_pcm_drop, capture, "stopping recording"},
                        {snd_pcm_prepare, playback, "preparing playback"},
                        {snd_pcm_prepare, capture, "preparing recording"}};
  for (const Step& step : steps) {
    const int err = step.call(step.pcm);
    if (err < 0) {
      operation = step.name;
      return err;
    }
  }
  return 0;
}

// How far the transfer has got, in periods.
struct Position {
  std::int64_t written = 0;
  std::int64_t recorded = 0;
};

// Keeps `prime` periods queued ahead of the recording (the first pass fills
// the queue, every later pass tops it up by one period, and at the end only
// the periods still owed are read), then reads one period. Returns 0, or the
// error with the step that failed.
int Step(PeriodMover& mover, const DuplexLayout& layout, std::int64_t periods, Position& at,
         const char*& operation, snd_pcm_t* playback, snd_pcm_t* capture) {
  const std::int64_t prime = layout.primePeriods < 1 ? 1 : layout.primePeriods;
  while (at.written < periods && at.written - at.recorded < prime) {
    if (const int err = mover.Move(playback, Direction::kPlayback, at.written); err != 0) {
      operation = "writing to the device";
      return err;
    }
    ++at.written;
  }
  if (const int err = mover.Move(capture, Direction::kCapture, at.recorded); err != 0) {
    operation = "reading from the device";
    return err;
  }
  ++at.recorded;
  return 0;
}

// Counts a failed step and starts both streams afresh from the first period
// not yet recorded, so that recorded frame k still answers played frame k
// minus the loop delay; periods queued but not yet heard are sent again.
// False when the device is gone or keeps failing: the transfer gives up.
bool Recover(int err, const char* operation, int failuresInARow, TransferStats& stats, Position& at,
             snd_pcm_t* playback, snd_pcm_t* capture) {
  if (DeviceIsGone(err) || failuresInARow > kMaxFailuresInARow) {
    stats.fatalError = err;
    stats.fatalOperation = operation;
    return false;
  }
  ++(err == -EPIPE ? stats.xruns : stats.otherErrors);
  ++stats.lostPeriods;
  if (const int realignErr = Realign(playback, capture, operation); realignErr < 0) {
    stats.fatalError = realignErr;
    stats.fatalOperation = operation;
    return false;
  }
  at.written = at.recorded;
  return true;
}

}  // namespace

TransferStats DuplexTransfer(snd_pcm_t* playback, snd_pcm_t* capture, const DuplexLayout& layout,
                             const TransferProgress& progress) {
  TransferStats stats;
  if (layout.period == 0 || layout.frameCount <= 0) {
    return stats;
  }
  stats.periods = layout.frameCount / static_cast<std::int64_t>(layout.period);
  PeriodMover mover(layout, stats);
  Position at;
  int failuresInARow = 0;
  while (at.recorded < stats.periods) {
    const char* operation = nullptr;
    const int err = Step(mover, layout, stats.periods, at, operation, playback, capture);
    if (err == 0) {
      failuresInARow = 0;
      if (progress) {
        progress(at.recorded, stats.periods);
      }
    } else if (!Recover(err, operation, ++failuresInARow, stats, at, playback, capture)) {
      break;
    }
  }
  stats.periodsRecorded = at.recorded;
  if (stats.fatalError != 0) {
    stats.lostPeriods += stats.periods - at.recorded;
  }
  return stats;
}
