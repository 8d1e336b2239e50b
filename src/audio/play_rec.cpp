#include "audio/play_rec.h"

#include <algorithm>
#include <cerrno>

#include "audio/pcm_handle.h"

namespace {

// Periods to queue ahead of the recording: as many as the granted buffer
// holds, up to three. Writing into the empty buffer of a freshly prepared
// stream never has to wait, however full it becomes.
std::int64_t PrimePeriods(const StreamGrant& playback) {
  if (playback.period == 0) {
    return 1;
  }
  const auto periodsInBuffer = static_cast<std::int64_t>(playback.buffer / playback.period);
  return std::clamp<std::int64_t>(periodsInBuffer, 1, 3);
}

// Keeps the first failure worth a line: anything but the expected end of a
// stream that has played everything it was given.
void NoteCloseResult(int err, const char* operation, CloseProblem& problem) {
  if (err >= 0 || err == -EPIPE || problem.operation != nullptr) {
    return;
  }
  problem = {operation, err};
}

}  // namespace

PlayRecResult PLAY_REC(const StreamRequest& request, const DuplexPlanes& planes,
                       const DuplexEvents& events) {
  PlayRecResult result;
  PcmHandle playback;
  StreamGrant played;
  result.failure = SetUpStream(playback, SND_PCM_STREAM_PLAYBACK, request, played);
  if (result.failure) {
    return result;
  }
  PcmHandle capture;
  StreamGrant recorded;
  // The capture stream is asked for the period playback was granted: every
  // write and read moves exactly that many frames.
  StreamRequest captureRequest = request;
  captureRequest.period = played.period;
  result.failure = SetUpStream(capture, SND_PCM_STREAM_CAPTURE, captureRequest, recorded);
  if (result.failure) {
    return result;
  }

  // Both streams are freshly installed and hold nothing yet, so draining
  // them only settles their state; some drivers refuse to drain a stream
  // that never ran, and that is harmless. Preparing is what the transfer
  // needs, and a stream that cannot be prepared cannot be measured with.
  (void)snd_pcm_drain(playback.get());
  (void)snd_pcm_drain(capture.get());
  int err = snd_pcm_prepare(capture.get());
  if (err < 0) {
    result.failure = {
        std::string("Problem preparing recording stream: ") + snd_strerror(err) + "\n", false, {}};
    return result;
  }
  err = snd_pcm_prepare(playback.get());
  if (err < 0) {
    result.failure = {
        std::string("Problem preparing playback stream: ") + snd_strerror(err) + "\n", false, {}};
    return result;
  }
  if (events.started) {
    events.started(played.period == request.period);
  }

  DuplexLayout layout;
  layout.playBuffer = planes.play.data();
  layout.recordBuffer = planes.record.data();
  layout.channels = request.channels;
  layout.sampleBytes = planes.sampleBytes;
  layout.planeBytes = planes.planeBytes;
  layout.frameCount = planes.frameCount;
  layout.period = played.period;
  layout.primePeriods = PrimePeriods(played);
  result.stats = DuplexTransfer(playback.get(), capture.get(), layout, events.progress);
  result.period = played.period;

  if (result.stats.fatalError != 0) {
    // Draining a stream that has stopped answering could wait forever, and
    // the failure has been told already.
    (void)snd_pcm_drop(playback.get());
    (void)snd_pcm_drop(capture.get());
    (void)playback.Close();
    (void)capture.Close();
    return result;
  }
  NoteCloseResult(snd_pcm_drain(playback.get()), "draining playback", result.closeProblem);
  NoteCloseResult(snd_pcm_drain(capture.get()), "draining recording", result.closeProblem);
  NoteCloseResult(playback.Close(), "closing playback", result.closeProblem);
  NoteCloseResult(capture.Close(), "closing recording", result.closeProblem);
  return result;
}
