#include "analysis/run_analysis.h"

#include <sys/mman.h>

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

// Where the check burst came back, to a fraction of a sample: the first
// copy of the burst after the sweep (and after the sync burst's own return
// when the sweep is short), when it is at least half as strong as the sync
// burst's return.
std::optional<double> CheckBurstStart(const RunEvidence& evidence, const BurstMatch& first) {
  const RunSignals& played = evidence.played;
  const std::span<const SampleWord> returned =
      Input(evidence, evidence.setup.channels.loopbackInput);
  const std::int64_t from =
      std::max<std::int64_t>(EDGE_PAD + std::int64_t{evidence.setup.SweepSamples()},
                             std::llround(first.start) + played.burstLength);
  const auto second = MatchBurst(returned, played.SentBurst(), from,
                                 static_cast<std::int64_t>(returned.size()) - 1);
  if (!second || !(second->correlation >= first.correlation / 2.0)) {
    return std::nullopt;
  }
  return second->start;
}

// Where the loop-back's bursts came back, and whether they look right. The
// dialogue's Sync In is the loudest sample of the sync search, as it always
// was; the lag that aligns the run, and the slip, come from the bursts'
// matched-filter times.
void FindSync(const RunEvidence& evidence, RunResult& result) {
  const RunSignals& played = evidence.played;
  const std::span<const SampleWord> returned =
      Input(evidence, evidence.setup.channels.loopbackInput);
  SyncResult& sync = result.sync;
  sync.syncOut = played.syncOut;
  sync.syncIn = FindPeak(returned.first(std::min<std::size_t>(SYNC_LEN, returned.size())));
  const SyncJudgement judged =
      JudgeSyncReturn({.returned = returned,
                       .sentBurst = played.SentBurst(),
                       .sentStart = played.burstStart,
                       .sentCrest = played.syncOut,
                       .searchLength = SYNC_LEN,
                       .lateSearchEnd = static_cast<std::int64_t>(returned.size()),
                       .checkBurstDelay = played.checkBurstStart - played.burstStart,
                       // The first tenth of a second of the tone is left to the burst's echo.
                       .toneBegin = EDGE_PAD + static_cast<std::int64_t>(result.rate / 10.0),
                       .toneEnd = EDGE_PAD + std::int64_t{evidence.setup.SweepSamples()},
                       .fallbackLag = sync.syncIn.index - sync.syncOut});
  sync.returned = judged.returned;
  sync.lag = static_cast<std::int32_t>(judged.lag);
  if (judged.returned != SyncReturn::kClear || !judged.match) {
    return;
  }
  const BurstMatch& first = *judged.match;
  if (const auto check = CheckBurstStart(evidence, first)) {
    sync.slip = std::llround((*check - played.checkBurstStart) - (first.start - played.burstStart));
  }
}

// FFTW ends the process when it cannot have memory for its own tables, so
// the transform starts only when the most it takes at once, its buffers and
// FFTW's tables together, could be had: that much is mapped and given back.
bool TransformMemoryAvailable(std::size_t samples, double rate) {
  const std::size_t size = RoomResponseBytes(samples, rate);
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    return false;
  }
  (void)munmap(memory, size);
  return true;
}

// The highest tone whose answer the recording holds, when the recording
// ended before the answer to the sweep's last tone: the microphone's
// recording, moved by the lag, ends lag samples early, and tone j is heard
// at EDGE_PAD + j + timeOfFlight.
std::optional<double> RecordedTopHz(const RunEvidence& evidence, std::int64_t lag,
                                    std::int32_t timeOfFlight) {
  const auto sweep = static_cast<std::int64_t>(evidence.setup.SweepSamples());
  const auto recorded = static_cast<std::int64_t>(evidence.setup.TotalSamples());
  const std::int64_t lastHeard = recorded - 1 - std::max<std::int64_t>(lag, 0) - EDGE_PAD -
                                 std::max<std::int32_t>(timeOfFlight, 0);
  if (lastHeard >= sweep - 1) {
    return std::nullopt;
  }
  return lastHeard < 0 ? 0.0 : evidence.played.track[static_cast<std::size_t>(lastHeard)];
}

// The impulse response from time 0 on, and lead samples before it.
void KeepImpulse(RoomResponse& room, std::size_t lead, ChannelResult& channel) {
  channel.impulse = std::move(room.impulse);
  const std::span<const float> before(room.beforeZero);
  const std::span<const float> kept = before.last(std::min(lead, before.size()));
  channel.impulseLead.assign(kept.begin(), kept.end());
}

// Deconvolves the microphone's recording, aligned by the loop-back, by the
// sweep: the impulse response, the time of flight and the fine response.
void MeasureRoom(const RunEvidence& evidence, const SyncResult& sync, ChannelResult& channel) {
  const MeasurementSetup& setup = evidence.setup;
  const std::span<const SampleWord> recorded = Input(evidence, channel.input);
  SweepRange range{.startHz = setup.stimulus.startHz,
                   .endHz = setup.stimulus.endHz,
                   .rate = static_cast<double>(setup.rate)};
  if (!TransformMemoryAvailable(recorded.size(), range.rate)) {
    channel.responseFailure = AnalysisFailure::kNoMemory;
    return;
  }
  const double rateConstant = evidence.played.sweepRateConstant;
  // An exponential sweep's harmonics lie before time zero.
  const std::size_t distortionLead =
      rateConstant > 0.0 ? DistortionLeadSamples(range, rateConstant) : 0;
  const auto impulseLead = static_cast<std::size_t>(std::lround(kImpulseLeadSeconds * range.rate));
  const std::size_t lead = std::max(distortionLead, impulseLead);
  auto room = MeasureRoomResponse(evidence.played.stimulus, recorded, range,
                                  {.lag = sync.lag, .leadSamples = lead});
  if (!room) {
    channel.responseFailure = room.error();
    return;
  }
  channel.responseSnrDb = ResponseSnrDb(room->impulse);
  channel.timeOfFlight = FindTimeOfFlight(room->impulse, range);
  if (rateConstant > 0.0) {
    channel.distortion = MeasureHarmonicDistortion(
        *room, range,
        {.rateConstant = rateConstant, .timeOfFlight = channel.timeOfFlight.value_or(0)});
  }
  channel.recordedTopHz = RecordedTopHz(evidence, sync.lag, channel.timeOfFlight.value_or(0));
  if (channel.recordedTopHz) {
    // Above it the recording is cut off, and the response made from it
    // falls away: the points stop where their smoothing window stays below.
    range.endHz =
        *channel.recordedTopHz / std::exp2(FineSmoothingOctaves(*channel.recordedTopHz) / 2.0);
  }
  channel.fine = ComputeFineResponse(*room, range, channel.timeOfFlight.value_or(0));
  if (const auto& calibration = setup.calibrations.microphone) {
    for (ResponsePoint& point : channel.fine) {
      point.db -= calibration->GainDbAt(point.hz);
    }
  }
  KeepImpulse(*room, impulseLead, channel);
}

// The room's decay per band from the impulse response. A lack of memory
// leaves it out and keeps the rest of the run.
void MeasureAcoustics(const MeasurementSetup& setup, ChannelResult& channel) {
  if (channel.impulse.empty()) {
    return;
  }
  try {
    channel.acoustics = AnalyseRoomAcoustics(
        channel.impulse, {.rate = static_cast<double>(setup.rate),
                          .startHz = setup.stimulus.startHz,
                          .topHz = channel.recordedTopHz.value_or(setup.TopHz()),
                          .resolution = setup.acousticBands == AcousticBands::kThirdOctaves
                                            ? BandResolution::kThirdOctave
                                            : BandResolution::kOctave});
  } catch (const std::bad_alloc&) {
    channel.acoustics.reset();
  }
}

// With a level calibration, moves the fine response to dB SPL for the sweep
// as played: the calibration's figure is the level of a full-scale sine, the
// sweep plays at its amplitude, and the microphone's own response at the
// calibrator's 1 kHz, taken out of the response, belongs to the figure.
void MoveToSpl(const MeasurementSetup& setup, ChannelResult& channel) {
  const Calibrations& calibrations = setup.calibrations;
  if (!calibrations.splOffsetDb || channel.fine.empty()) {
    return;
  }
  double shift = *calibrations.splOffsetDb + 20.0 * std::log10(setup.stimulus.amplitude);
  if (calibrations.microphone) {
    shift += calibrations.microphone->GainDbAt(1000.0);
  }
  for (ResponsePoint& point : channel.fine) {
    point.db += shift;
  }
  channel.sweepSpl = SweepLevelAtMicrophone(
      channel.fine, setup.stimulus.kind == SweepKind::kExponential ? SweepPace::kExponential
                                                                   : SweepPace::kLinear);
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

bool ChannelResult::SweepReturned() const {
  return responseSnrDb.value_or(kMinResponseSnrDb) >= kMinResponseSnrDb;
}

std::optional<RunFault> RunResult::Fault() const {
  if (DeviceFailed()) {
    return RunFault::kDeviceFailed;
  }
  switch (sync.returned) {
    case SyncReturn::kMissing:
      return RunFault::kNoSyncReturn;
    case SyncReturn::kLate:
      return RunFault::kSyncLate;
    case SyncReturn::kSweepOnInput2:
      return RunFault::kSweepOnInput2;
    case SyncReturn::kClear:
      break;
  }
  if (sync.slip.value_or(1) != 0) {
    return RunFault::kSlipped;
  }
  if (!Microphone().SweepReturned()) {
    return RunFault::kNoSweepReturn;
  }
  if (Microphone().levelsFailure) {
    return RunFault::kNoBandLevels;
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
  // A pass that runs out of memory leaves its part empty, with the reason,
  // and the others are measured all the same.
  if (!result.nothingSwept) {
    try {
      MeasureRoom(evidence, result.sync, microphone);
      MoveToSpl(evidence.setup, microphone);
      MeasureAcoustics(evidence.setup, microphone);
    } catch (const std::bad_alloc&) {
      const int input = microphone.input;
      microphone = ChannelResult{};
      microphone.input = input;
      microphone.responseFailure = AnalysisFailure::kNoMemory;
    }
  }
  try {
    FileBands(evidence, result.sync, microphone);
  } catch (const std::bad_alloc&) {
    microphone.levels = {};
    microphone.levelsFailure = AnalysisFailure::kNoMemory;
  }
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
