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

}  // namespace

TransferStats DuplexTransfer(snd_pcm_t* playback, snd_pcm_t* capture, const DuplexLayout& layout,
                             const TransferProgress& progress) {
  TransferStats stats;
  if (layout.period == 0 || layout.frameCount <= 0) {
    return stats;
  }
  stats.periods = layout.frameCount / static_cast<std::int64_t>(layout.period);
  const std::int64_t prime = layout.primePeriods < 1 ? 1 : layout.primePeriods;

  PeriodMover mover(layout, stats);
  std::int64_t written = 0;
  std::int64_t recorded = 0;
  int failuresInARow = 0;
  while (recorded < stats.periods) {
    int err = 0;
    const char* operation = nullptr;
    // Keep `prime` periods queued ahead of the recording: the first pass
    // fills the queue, every later pass tops it up by one period, and at
    // the end only the periods still owed are read.
    while (err == 0 && written < stats.periods && written - recorded < prime) {
      err = mover.Move(playback, Direction::kPlayback, written);
      if (err == 0) {
        ++written;
      } else {
        operation = "writing to the device";
      }
    }
    if (err == 0) {
      err = mover.Move(capture, Direction::kCapture, recorded);
      if (err == 0) {
        ++recorded;
        failuresInARow = 0;
        if (progress) {
          progress(recorded, stats.periods);
        }
        continue;
      }
      operation = "reading from the device";
    }

    if (DeviceIsGone(err) || ++failuresInARow > kMaxFailuresInARow) {
      stats.fatalError = err;
      stats.fatalOperation = operation;
      break;
    }
    if (err == -EPIPE) {
      ++stats.xruns;
    } else {
      ++stats.otherErrors;
    }
    ++stats.lostPeriods;
    // Both streams start afresh from the first period not yet recorded, so
    // that recorded frame k still answers played frame k minus the loop
    // delay. Periods queued but not yet heard are sent again.
    const int realignErr = Realign(playback, capture, operation);
    if (realignErr < 0) {
      stats.fatalError = realignErr;
      stats.fatalOperation = operation;
      break;
    }
    written = recorded;
  }
  stats.periodsRecorded = recorded;
  if (stats.fatalError != 0) {
    stats.lostPeriods += stats.periods - recorded;
  }
  return stats;
}
