#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/analysis_failure.h"
#include "analysis/band_analysis.h"
#include "analysis/harmonic_distortion.h"
#include "analysis/levels.h"
#include "analysis/response_point.h"
#include "analysis/room_acoustics.h"
#include "analysis/sync_check.h"
#include "analysis/weighting.h"
#include "audio/play_rec.h"

// Everything a run found, as data: the report words it, the saving stage
// decides from it what is kept. Each analysis pass adds its part.

// Where the loop-back's bursts came back.
struct SyncResult {
  std::int32_t syncOut = 0;  // the sync burst's crest as played
  SyncPeak syncIn;           // its crest as recorded
  std::int32_t lag = 0;      // sync-in minus sync-out
  SyncReturn returned = SyncReturn::kMissing;
  // The check burst's lag minus the sync burst's: samples the recording
  // gained (positive) or lost between the two. Unset when the check burst
  // did not come back.
  std::optional<std::int64_t> slip;
};

// How much of the impulse response before time 0 a run keeps. The response
// rolls off below the sweep's start over half an octave, and its ringing
// before time 0 lasts about 1.5 / (that width in Hz), 0.28 s from 18 Hz.
// Measured on the simulated room from 18 Hz, the file's spectrum lay this
// far from the fine response at most: 0.34 dB keeping 0.1 s, 0.19 dB 0.15 s,
// 0.09 dB 0.2 s, 0.05 dB 0.25 s.
inline constexpr double kImpulseLeadSeconds = 0.25;

// What one microphone channel measured.
struct ChannelResult {
  int input = 0;  // counted from 0
  // The room's impulse response (index 0 at the loop-back's zero), the
  // direct sound's delay in it when one stands clear, and the response at
  // fine resolution, the microphone's own taken out. Empty, with the reason,
  // when they could not be computed.
  std::vector<float> impulse;
  // The impulse response before the loop-back's zero, kImpulseLeadSeconds
  // of it (impulseLead[i] is h at i - impulseLead.size()): the band-limited
  // response rings before its direct sound, and without this part its bass
  // (and, at the loudspeaker, every band) reads low.
  std::vector<float> impulseLead;
  std::optional<std::int32_t> timeOfFlight;
  FineResponse fine;
  std::optional<AnalysisFailure> responseFailure;
  // With a level calibration the fine response is in dB SPL for the sweep as
  // played, and this is the sweep's level at the microphone.
  std::optional<SweepSpl> sweepSpl;
  // From an exponential sweep: the harmonics, or why they could not be had.
  std::optional<HarmonicDistortion> distortion;
  // The room's decay per band (ISO 3382): reverberation times, clarity.
  std::optional<RoomAcoustics> acoustics;
  // How far the impulse response stands above its noise floor, in dB: below
  // kMinResponseSnrDb no sweep came back. Unset without a response.
  std::optional<double> responseSnrDb;
  // Set when the sound arrived so late that the recording ended before the
  // answer to the sweep's top: the highest tone it holds the answer to. The
  // fine response stops below it.
  std::optional<double> recordedTopHz;
  BandLevels levels;
  std::optional<AnalysisFailure> levelsFailure;  // set: levels is empty
  std::int64_t clippedSamples = 0;               // samples at full scale

  // False when the impulse response shows that no sweep came back.
  [[nodiscard]] bool SweepReturned() const;
};

// Why a run's results must not be kept.
enum class RunFault {
  kDeviceFailed,
  kNoSyncReturn,
  kSyncLate,
  kSweepOnInput2,
  kSlipped,
  kNoSweepReturn,
  kNoBandLevels,
};

struct RunResult {
  double rate = 0.0;
  TransferReport transfer;
  SyncResult sync;
  bool nothingSwept = false;  // a sweep of no length
  std::vector<ChannelResult> channels;

  [[nodiscard]] bool DeviceFailed() const { return transfer.stats.fatalError != 0; }
  [[nodiscard]] const ChannelResult& Microphone() const { return channels.front(); }
  // The first reason not to keep the run, or none.
  [[nodiscard]] std::optional<RunFault> Fault() const;
};
