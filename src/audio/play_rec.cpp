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

// Both streams of the device, set up and prepared for a transfer.
struct DuplexStreams {
  PcmHandle playback;
  PcmHandle capture;
  StreamGrant played;
};

std::optional<DeviceFailure> Prepare(snd_pcm_t* pcm, const char* what) {
  const int err = snd_pcm_prepare(pcm);
  if (err < 0) {
    return DeviceFailure{
        std::string("Problem preparing ") + what + " stream: " + snd_strerror(err) + "\n",
        false,
        {}};
  }
  return std::nullopt;
}

std::optional<DeviceFailure> OpenDuplex(const StreamRequest& request, DuplexStreams& streams) {
  if (auto failure =
          SetUpStream(streams.playback, SND_PCM_STREAM_PLAYBACK, request, streams.played)) {
    return failure;
  }
  // The capture stream is asked for the period playback was granted: every
  // write and read moves exactly that many frames.
  StreamRequest captureRequest = request;
  captureRequest.period = streams.played.period;
  StreamGrant recorded;
  if (auto failure =
          SetUpStream(streams.capture, SND_PCM_STREAM_CAPTURE, captureRequest, recorded)) {
    return failure;
  }
  // Both streams are freshly installed and hold nothing yet, so draining
  // them only settles their state; some drivers refuse to drain a stream
  // that never ran, and that is harmless. Preparing is what the transfer
  // needs, and a stream that cannot be prepared cannot be measured with.
  (void)snd_pcm_drain(streams.playback.get());
  (void)snd_pcm_drain(streams.capture.get());
  if (auto failure = Prepare(streams.capture.get(), "recording")) {
    return failure;
  }
  return Prepare(streams.playback.get(), "playback");
}

// Ends both streams after the transfer, noting the first step that failed.
CloseProblem CloseDuplex(DuplexStreams& streams, bool deviceFailed) {
  CloseProblem problem;
  if (deviceFailed) {
    // Draining a stream that has stopped answering could wait forever, and
    // the failure has been told already.
    (void)snd_pcm_drop(streams.playback.get());
    (void)snd_pcm_drop(streams.capture.get());
    (void)streams.playback.Close();
    (void)streams.capture.Close();
    return problem;
  }
  NoteCloseResult(snd_pcm_drain(streams.playback.get()), "draining playback", problem);
  NoteCloseResult(snd_pcm_drain(streams.capture.get()), "draining recording", problem);
  NoteCloseResult(streams.playback.Close(), "closing playback", problem);
  NoteCloseResult(streams.capture.Close(), "closing recording", problem);
  return problem;
}

}  // namespace

Expected<TransferReport, DeviceFailure> PLAY_REC(const StreamRequest& request,
                                                 const DuplexPlanes& planes,
                                                 const DuplexEvents& events) {
  DuplexStreams streams;
  if (auto failure = OpenDuplex(request, streams)) {
    return Unexpected{std::move(*failure)};
  }
  if (events.started) {
    events.started(streams.played.period == request.period);
  }
  const DuplexLayout layout{.playBuffer = planes.play.data(),
                            .recordBuffer = planes.record.data(),
                            .channels = request.channels,
                            .sampleBytes = planes.sampleBytes,
                            .planeBytes = planes.planeBytes,
                            .frameCount = planes.frameCount,
                            .period = streams.played.period,
                            .primePeriods = PrimePeriods(streams.played)};
  TransferReport report;
  report.stats =
      DuplexTransfer(streams.playback.get(), streams.capture.get(), layout, events.progress);
  report.period = streams.played.period;
  report.closeProblem = CloseDuplex(streams, report.stats.fatalError != 0);
  return report;
}
