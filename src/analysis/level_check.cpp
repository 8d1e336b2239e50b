#include "analysis/level_check.h"

#include <algorithm>
#include <cmath>

#include "analysis/levels.h"

namespace {

constexpr SampleWord kLargestSample = 8388607;

std::span<const SampleWord> Stretch(std::span<const SampleWord> all, std::int64_t begin,
                                    std::int64_t end) {
  const auto size = static_cast<std::int64_t>(all.size());
  begin = std::clamp<std::int64_t>(begin, 0, size);
  end = std::clamp<std::int64_t>(end, begin, size);
  return all.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

double Floored(double dbfs) {
  return std::max(dbfs, kLevelFloorDbfs);
}

// RMS in dBFS with a full-scale sine at 0.
double SineDbfs(std::span<const SampleWord> samples) {
  double sum = 0.0;
  for (const SampleWord s : samples) {
    sum += static_cast<double>(s) * static_cast<double>(s);
  }
  const double meanSquare = samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
  return Floored(RtodB(std::sqrt(2.0 * meanSquare) / kFullScale));
}

InputLevels Measure(std::span<const SampleWord> input, const LevelCheckPlayback& playback) {
  InputLevels levels;
  const std::int64_t firstPlayed = std::min<std::int64_t>(playback.burstStart, playback.noiseBegin);
  // Half the lead-in, as the run's sync check takes it: a capture that
  // starts late brings the playback early.
  levels.silenceDbfs = SineDbfs(Stretch(input, 0, firstPlayed / 2));
  levels.rmsDbfs = SineDbfs(Stretch(input, playback.noiseBegin + playback.latencyReach,
                                    playback.noiseEnd - playback.latencyReach));
  SampleWord largest = 0;
  for (const SampleWord s : input) {
    largest = std::max(largest, s < 0 ? -s : s);
    levels.clippedSamples += s >= kLargestSample || s <= -kLargestSample ? 1 : 0;
  }
  levels.peakDbfs = Floored(RtodB(static_cast<double>(largest) / kFullScale));
  return levels;
}

void AdviseMicrophone(const InputLevels& mic, std::vector<LevelAdvice>& advice) {
  const bool answers =
      mic.rmsDbfs >= mic.silenceDbfs + kMinAnswerDb && mic.rmsDbfs >= kAnswerFloorDbfs;
  if (mic.clippedSamples > 0 || (answers && mic.HeadroomDb() < kMinHeadroomDb)) {
    advice.push_back(LevelAdvice::kMicrophoneGainDown);
  } else if (!answers) {
    advice.push_back(LevelAdvice::kMicrophoneSilent);
  } else if (mic.HeadroomDb() > kMaxHeadroomDb) {
    advice.push_back(LevelAdvice::kMicrophoneGainUp);
  }
}

void AdviseLoopBack(const LevelCheck& check, std::vector<LevelAdvice>& advice) {
  if (check.loopBackReturn == SyncReturn::kMissing) {
    advice.push_back(LevelAdvice::kLoopBackCable);
  } else if (check.loopBackReturn == SyncReturn::kSweepOnInput2) {
    advice.push_back(LevelAdvice::kSwapInputs);
  }
  if (check.loopBack.clippedSamples > 0) {
    advice.push_back(LevelAdvice::kLoopBackGainDown);
  }
}

}  // namespace

LevelCheck CheckLevels(std::span<const SampleWord> microphone, std::span<const SampleWord> loopBack,
                       const LevelCheckPlayback& playback) {
  LevelCheck check;
  check.microphone = Measure(microphone, playback);
  check.loopBack = Measure(loopBack, playback);
  check.loopBackReturn = JudgeSyncReturn({.returned = loopBack,
                                          .sentBurst = playback.burst,
                                          .sentStart = playback.burstStart,
                                          .sentCrest = playback.burstCrest,
                                          .searchLength = playback.syncSearch,
                                          .toneBegin = playback.noiseBegin + playback.latencyReach,
                                          .toneEnd = playback.noiseEnd - playback.latencyReach})
                             .returned;
  AdviseMicrophone(check.microphone, check.advice);
  AdviseLoopBack(check, check.advice);
  return check;
}
