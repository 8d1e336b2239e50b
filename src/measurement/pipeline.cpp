#include "measurement/pipeline.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <span>
#include <stdexcept>

#include "analysis/fine_response.h"
#include "analysis/room_response.h"
#include "analysis/time_of_flight.h"
#include "audio/sample_packing.h"
#include "signals/sweep.h"
#include "signals/sync_pulse.h"

namespace {

constexpr SampleWord kLargestSample = 8388607;
// The check burst plays this long after the sweep ends.
constexpr std::int32_t kCheckBurstGap = SAMPLE_RATE / 20;
constexpr std::int32_t kBurstLength = SAMPLE_RATE / kBurstHz;

// Where the check burst starts in the played signal.
std::int32_t CheckBurstStart(const RunSizes& sizes) {
  return EDGE_PAD + sizes.sweepSamples + kCheckBurstGap;
}

// The check burst's return: the recorded lag of its crest, when something
// at least half as strong as the sync burst's return came back after the
// sweep.
std::optional<std::int64_t> CheckBurstLag(std::span<const SampleWord> returned,
                                          const RunSizes& sizes, std::int32_t crestOffset,
                                          const SyncPeak& first) {
  // After the sweep, and after the sync burst's own return when the sweep
  // is short.
  const auto from =
      static_cast<std::size_t>(std::max(EDGE_PAD + sizes.sweepSamples, first.index + kBurstLength));
  if (from >= returned.size()) {
    return std::nullopt;
  }
  const SyncPeak second = FindPeak(returned.subspan(from));
  if (!(second.peak >= first.peak / 2.0) || first.peak <= 0.0) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(from) + second.index - (CheckBurstStart(sizes) + crestOffset);
}

// Deconvolves the microphone's recording, aligned by the loop-back, by the
// sweep: the impulse response, the time of flight and the fine response.
void MeasureRoom(const Settings& settings, double endHz, const RunSizes& sizes,
                 const RunBuffers& buffers, const MicCalibration* calibration,
                 RecordingAnalysis& result) {
  if (sizes.sweepSamples == 0) {
    return;
  }
  std::vector<SampleWord> aligned(buffers.recordWords.size(), 0);
  for (std::size_t i = 0; i < aligned.size(); ++i) {
    const std::int64_t from = static_cast<std::int64_t>(i) + result.lag;
    if (from >= 0 && from < static_cast<std::int64_t>(aligned.size())) {
      aligned[i] = buffers.recordWords[static_cast<std::size_t>(from)];
    }
  }
  const SweepRange range{.startHz = settings.startHz, .endHz = endHz, .rate = SAMPLE_RATE};
  RoomResponse room;
  try {
    room = MeasureRoomResponse(buffers.sweepWords, aligned, range);
  } catch (const std::bad_alloc&) {
    return;  // a sweep of an hour or more: the bands are measured all the same
  } catch (const std::length_error&) {
    return;
  }
  result.timeOfFlight = FindTimeOfFlight(room.impulse);
  result.fine = ComputeFineResponse(room, range, result.timeOfFlight.value_or(0));
  if (calibration != nullptr) {
    for (ResponsePoint& point : result.fine) {
      point.db -= calibration->GainDbAt(point.hz);
    }
  }
  result.impulse = std::move(room.impulse);
}

}  // namespace

RunSizes ComputeSizes(double sweepSeconds) {
  RunSizes sizes;
  // The product is formed in extended precision before it is truncated:
  // 0.7 s gives 33599 samples, not 33600.
  sizes.sweepSamples =
      static_cast<std::int32_t>(static_cast<long double>(SAMPLE_RATE) * sweepSeconds);
  sizes.totalSamples = sizes.sweepSamples + 2 * EDGE_PAD;
  sizes.planeBytes = kSampleBytes * sizes.totalSamples;
  return sizes;
}

std::size_t RunBuffers::BytesFor(const RunSizes& sizes) {
  const auto total = static_cast<std::size_t>(sizes.totalSamples);
  return total * (sizeof(double) + 3 * sizeof(SampleWord) + 4 * kSampleBytes);
}

bool RunBuffers::Allocate(const RunSizes& sizes) {
  const auto total = static_cast<std::size_t>(sizes.totalSamples);
  const auto planes =
      static_cast<std::size_t>(kChannels) * static_cast<std::size_t>(sizes.planeBytes);
  try {
    freqTrack.assign(total, 0.0);
    sweepWords.assign(total, 0);
    recordWords.assign(total, 0);
    playBuffer.assign(planes, 0);
    recordBuffer.assign(planes, 0);
    pulseWords.assign(SYNC_LEN, 0);
    returnWords.assign(total, 0);
  } catch (const std::bad_alloc&) {
    *this = RunBuffers{};
    return false;
  }
  return true;
}

std::int32_t PrepareSignals(const Settings& settings, double endHz, const RunSizes& sizes,
                            RunBuffers& buffers) {
  const std::int32_t syncOut =
      MakePulse(buffers.pulseWords.data(), SAMPLE_RATE, SYNC_LEN, EDGE_PAD);
  std::int8_t* syncPlane = buffers.playBuffer.data() + sizes.planeBytes;
  NUM24_TO_CHAR(buffers.pulseWords.data(), syncPlane, SYNC_LEN);
  NUM24_TO_CHAR(buffers.pulseWords.data() + EDGE_PAD,
                syncPlane + kSampleBytes * CheckBurstStart(sizes), kBurstLength);
  MakeSweep(SAMPLE_RATE, buffers.sweepWords.data(), buffers.freqTrack.data(), settings.startHz,
            endHz, sizes.totalSamples, kSweepAmplitude, EDGE_PAD);
  NUM24_TO_CHAR(buffers.sweepWords.data(), buffers.playBuffer.data(), sizes.totalSamples);
  return syncOut;
}

RecordingAnalysis AnalyseRecording(const Settings& settings, const BandPlan& plan, double endHz,
                                   const RunSizes& sizes, std::int32_t syncOut, RunBuffers& buffers,
                                   const MicCalibration* calibration) {
  CHAR_TO_NUM32(buffers.recordBuffer.data(), buffers.recordWords.data(), kSampleBytes,
                sizes.totalSamples);
  CHAR_TO_NUM32(buffers.recordBuffer.data() + sizes.planeBytes, buffers.returnWords.data(),
                kSampleBytes, sizes.totalSamples);
  RecordingAnalysis result;
  const std::span<const SampleWord> returned(buffers.returnWords);
  result.syncIn = FindPeak(returned.first(std::min<std::size_t>(SYNC_LEN, returned.size())));
  result.lag = result.syncIn.index - syncOut;
  const std::int64_t toneBegin = std::int64_t{EDGE_PAD} + result.lag;
  result.syncReturn = JudgeSyncReturn(
      {.returned = returned,
       .sentBurst = std::span<const SampleWord>(buffers.pulseWords).subspan(EDGE_PAD, kBurstLength),
       .sentStart = EDGE_PAD,
       .sentCrest = syncOut,
       .found = result.syncIn,
       // The first tenth of a second of the tone is left to the burst's echo.
       .toneBegin = toneBegin + SAMPLE_RATE / 10,
       .toneEnd = toneBegin + sizes.sweepSamples,
       .checkBurstCrest = CheckBurstStart(sizes) + (syncOut - EDGE_PAD) + result.lag},
      SYNC_LEN);
  if (const auto checkLag = CheckBurstLag(returned, sizes, syncOut - EDGE_PAD, result.syncIn)) {
    result.slip = *checkLag - result.lag;
  }

  const std::span<const SampleWord> recorded(buffers.recordWords);
  const std::span<const double> toneTrack =
      std::span<const double>(buffers.freqTrack)
          .first(static_cast<std::size_t>(sizes.sweepSamples));
  std::vector<double> micGain;
  if (calibration != nullptr) {
    micGain.reserve(toneTrack.size());
    for (const double hz : toneTrack) {
      micGain.push_back(std::pow(10.0, calibration->GainDbAt(hz) / 20.0));
    }
  }
  MeasureRoom(settings, endHz, sizes, buffers, calibration, result);
  const auto bandCount = static_cast<std::size_t>(std::max(settings.bandCount, 0));
  result.levels = ComputeBandLevels(
      {.toneTrack = toneTrack,
       .recorded = recorded,
       // The sample that answers a tone is heard one time of flight after
       // the tone was played.
       .firstAnswer = std::int64_t{EDGE_PAD} + result.lag + result.timeOfFlight.value_or(0),
       .rate = kAnalysisRate,
       .micGain = micGain},
      std::span<const double>(plan.high).first(bandCount));
  result.clippedSamples = std::count_if(recorded.begin(), recorded.end(), [](SampleWord s) {
    return s >= kLargestSample || s <= -kLargestSample;
  });
  return result;
}
