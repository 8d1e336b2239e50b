#include "analysis/run_analysis.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "analysis/fine_response.h"
#include "analysis/room_response.h"
#include "analysis/time_of_flight.h"

namespace {

constexpr SampleWord kLargestSample = 8388607;

std::span<const SampleWord> Input(const RunEvidence& evidence, int input) {
  return evidence.recorded.inputs.at(static_cast<std::size_t>(input));
}

// The check burst's return: the recorded lag of its crest, when something
// at least half as strong as the sync burst's return came back after the
// sweep.
std::optional<std::int64_t> CheckBurstLag(const RunEvidence& evidence, const SyncPeak& first) {
  const RunSignals& played = evidence.played;
  const std::span<const SampleWord> returned =
      Input(evidence, evidence.setup.channels.loopbackInput);
  // After the sweep, and after the sync burst's own return when the sweep
  // is short.
  const auto from = static_cast<std::size_t>(
      std::max(EDGE_PAD + evidence.setup.SweepSamples(), first.index + played.burstLength));
  if (from >= returned.size()) {
    return std::nullopt;
  }
  const SyncPeak second = FindPeak(returned.subspan(from));
  if (!(second.peak >= first.peak / 2.0) || first.peak <= 0.0) {
    return std::nullopt;
  }
  const std::int32_t crestOffset = played.syncOut - played.burstStart;
  return static_cast<std::int64_t>(from) + second.index - (played.checkBurstStart + crestOffset);
}

// Where the loop-back's bursts came back, and whether they look right.
void FindSync(const RunEvidence& evidence, RunResult& result) {
  const RunSignals& played = evidence.played;
  const std::span<const SampleWord> returned =
      Input(evidence, evidence.setup.channels.loopbackInput);
  SyncResult& sync = result.sync;
  sync.syncOut = played.syncOut;
  sync.syncIn = FindPeak(returned.first(std::min<std::size_t>(SYNC_LEN, returned.size())));
  sync.lag = sync.syncIn.index - sync.syncOut;
  const std::int64_t toneBegin = std::int64_t{EDGE_PAD} + sync.lag;
  const std::int32_t crestOffset = played.syncOut - played.burstStart;
  sync.returned =
      JudgeSyncReturn({.returned = returned,
                       .sentBurst = played.SentBurst(),
                       .sentStart = played.burstStart,
                       .sentCrest = played.syncOut,
                       .found = sync.syncIn,
                       // The first tenth of a second of the tone is left to the burst's echo.
                       .toneBegin = toneBegin + static_cast<std::int64_t>(result.rate / 10.0),
                       .toneEnd = toneBegin + evidence.setup.SweepSamples(),
                       .checkBurstCrest = played.checkBurstStart + crestOffset + sync.lag},
                      SYNC_LEN);
  if (const auto checkLag = CheckBurstLag(evidence, sync.syncIn)) {
    sync.slip = *checkLag - sync.lag;
  }
}

// Deconvolves the microphone's recording, aligned by the loop-back, by the
// sweep: the impulse response, the time of flight and the fine response.
void MeasureRoom(const RunEvidence& evidence, const SyncResult& sync, ChannelResult& channel) {
  const MeasurementSetup& setup = evidence.setup;
  const SweepRange range{.startHz = setup.stimulus.startHz,
                         .endHz = setup.stimulus.endHz,
                         .rate = static_cast<double>(setup.rate)};
  auto room = MeasureRoomResponse(evidence.played.stimulus, Input(evidence, channel.input), range,
                                  sync.lag);
  if (!room) {
    channel.responseFailure = room.error();
    return;
  }
  channel.timeOfFlight = FindTimeOfFlight(room->impulse);
  channel.fine = ComputeFineResponse(*room, range, channel.timeOfFlight.value_or(0));
  if (const auto& calibration = setup.calibrations.microphone) {
    for (ResponsePoint& point : channel.fine) {
      point.db -= calibration->GainDbAt(point.hz);
    }
  }
  channel.impulse = std::move(room->impulse);
}

// Files every microphone sample under the tone it answers and levels the
// bands.
void FileBands(const RunEvidence& evidence, const SyncResult& sync, ChannelResult& channel) {
  const MeasurementSetup& setup = evidence.setup;
  const ToneTrack& toneTrack = evidence.played.track;
  std::vector<double> micGain;
  if (const auto& calibration = setup.calibrations.microphone) {
    micGain.reserve(toneTrack.size());
    for (std::size_t j = 0; j < toneTrack.size(); ++j) {
      micGain.push_back(std::pow(10.0, calibration->GainDbAt(toneTrack[j]) / 20.0));
    }
  }
  channel.levels = ComputeBandLevels(
      {.toneTrack = toneTrack,
       .recorded = Input(evidence, channel.input),
       // The sample that answers a tone is heard one time of flight after
       // the tone was played.
       .firstAnswer = std::int64_t{EDGE_PAD} + sync.lag + channel.timeOfFlight.value_or(0),
       .rate = static_cast<double>(setup.rate),
       .micGain = micGain},
      setup.BandHighs());
  const std::span<const SampleWord> recorded = Input(evidence, channel.input);
  channel.clippedSamples = std::count_if(recorded.begin(), recorded.end(), [](SampleWord s) {
    return s >= kLargestSample || s <= -kLargestSample;
  });
}

}  // namespace

std::optional<RunFault> RunResult::Fault() const {
  if (DeviceFailed()) {
    return RunFault::kDeviceFailed;
  }
  switch (sync.returned) {
    case SyncReturn::kMissing:
      return RunFault::kNoSyncReturn;
    case SyncReturn::kSweepOnInput2:
      return RunFault::kSweepOnInput2;
    case SyncReturn::kClear:
      break;
  }
  if (sync.slip.value_or(1) != 0) {
    return RunFault::kSlipped;
  }
  return std::nullopt;
}

RunResult AnalyseRun(const RunEvidence& evidence) {
  RunResult result;
  result.rate = evidence.setup.rate;
  result.transfer = evidence.recorded.transfer;
  result.nothingSwept = evidence.setup.SweepSamples() == 0;
  FindSync(evidence, result);
  ChannelResult microphone;
  microphone.input = evidence.setup.channels.microphoneInput;
  if (!result.nothingSwept) {
    try {
      MeasureRoom(evidence, result.sync, microphone);
    } catch (const std::bad_alloc&) {
      // The bands are measured all the same.
      const int input = microphone.input;
      microphone = ChannelResult{};
      microphone.input = input;
      microphone.responseFailure = AnalysisFailure::kNoMemory;
    }
  }
  FileBands(evidence, result.sync, microphone);
  result.channels.push_back(std::move(microphone));
  return result;
}

std::size_t AnalysisBytes(const MeasurementSetup& setup) {
  const auto total = static_cast<std::size_t>(setup.TotalSamples());
  const std::size_t room = RoomResponseBytes(total, setup.rate);
  const std::size_t impulse = std::max(total, static_cast<std::size_t>(setup.rate)) * sizeof(float);
  const std::size_t gains = setup.calibrations.microphone
                                ? static_cast<std::size_t>(setup.SweepSamples()) * sizeof(double)
                                : 0;
  return std::max(room, impulse + gains);
}
