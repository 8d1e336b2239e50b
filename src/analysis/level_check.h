#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/sync_check.h"
#include "audio/sample_word.h"

// The check before a measurement: pink noise on output 1 at the sweep's
// peak, the sync burst on output 2, both inputs recorded. It says whether
// each input answers and how much room it leaves, and what to change.

// What was played where, in samples from the start of the playback.
struct LevelCheckPlayback {
  std::span<const SampleWord> burst;  // output 2's burst as sent
  std::int32_t burstStart = 0;
  std::int32_t burstCrest = 0;
  std::int64_t syncSearch = 0;  // input 2 is searched for the burst in [0, syncSearch)
  std::int64_t noiseBegin = 0;  // output 1's noise plays in [noiseBegin, noiseEnd)
  std::int64_t noiseEnd = 0;
  // How far the recording may lag (or lead) the playback: the noise's level
  // is measured where it plays whatever the lag, in
  // [noiseBegin + latencyReach, noiseEnd - latencyReach).
  std::int64_t latencyReach = 0;
};

// One input's figures in dBFS, never below kLevelFloorDbfs.
inline constexpr double kLevelFloorDbfs = -150.0;
struct InputLevels {
  double rmsDbfs = kLevelFloorDbfs;      // during the noise; a full-scale sine reads 0
  double silenceDbfs = kLevelFloorDbfs;  // before anything played arrives, the same way
  double peakDbfs = kLevelFloorDbfs;     // the recording's largest sample over full scale
  std::int64_t clippedSamples = 0;

  [[nodiscard]] double HeadroomDb() const { return 0.0 - peakDbfs; }  // never -0
};

// The microphone answers when the noise lifts it this far above its own
// silence and above an absolute floor (an input that reads nothing at all).
inline constexpr double kMinAnswerDb = 10.0;
inline constexpr double kAnswerFloorDbfs = -100.0;
// The sweep's tone can peak at the room's strongest resonance, 6 to 10 dB
// above what the noise's average spectrum reaches at the microphone: under
// this much headroom during the noise, the sweep may clip.
inline constexpr double kMinHeadroomDb = 10.0;
// Beyond this much, the input gain is set too low for the converter's range.
inline constexpr double kMaxHeadroomDb = 30.0;

enum class LevelAdvice {
  kMicrophoneSilent,    // check its cable and phantom power, and the amplifier
  kMicrophoneGainDown,  // input 1 clips, or leaves under kMinHeadroomDb
  kMicrophoneGainUp,    // input 1 leaves over kMaxHeadroomDb
  kLoopBackCable,       // no burst came back on input 2
  kSwapInputs,          // input 2 carries the noise
  kLoopBackGainDown,    // input 2 clips
};

struct LevelCheck {
  InputLevels microphone;
  InputLevels loopBack;
  SyncReturn loopBackReturn = SyncReturn::kMissing;
  // Empty: both inputs are good. One piece at most for the microphone.
  std::vector<LevelAdvice> advice;
};

// microphone and loopBack: inputs 1 and 2, recorded from the playback's start.
LevelCheck CheckLevels(std::span<const SampleWord> microphone, std::span<const SampleWord> loopBack,
                       const LevelCheckPlayback& playback);
