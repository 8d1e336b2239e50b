#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "analysis/response_point.h"
#include "analysis/sync_check.h"
#include "audio/sample_word.h"
#include "measurement/band_plan.h"
#include "measurement/mic_calibration.h"
#include "measurement/run_constants.h"
#include "measurement/settings.h"

// Sizes of one run, from the sweep length.
struct RunSizes {
  std::int32_t sweepSamples = 0;
  std::int32_t totalSamples = 0;  // per channel: the sweep and its two pads
  std::int32_t planeBytes = 0;
};

// Works out the sizes of a run. The sweep length must have passed the
// console's limit, which keeps every size within signed 32-bit counts.
RunSizes ComputeSizes(double sweepSeconds);

// The buffers of one run, zero-filled.
struct RunBuffers {
  std::vector<double> freqTrack;
  std::vector<SampleWord> sweepWords;
  std::vector<SampleWord> recordWords;
  std::vector<std::int8_t> playBuffer;    // two planes: the sweep, then the sync burst
  std::vector<std::int8_t> recordBuffer;  // two planes: the microphone, then the return
  std::vector<SampleWord> pulseWords;     // SYNC_LEN: the burst as sent
  std::vector<SampleWord> returnWords;    // input 2, whole; the sync search reads SYNC_LEN

  // Bytes that Allocate takes for a run of these sizes.
  static std::size_t BytesFor(const RunSizes& sizes);
  // Returns false when memory runs out, with nothing kept.
  bool Allocate(const RunSizes& sizes);
};

// Fills the play buffer: on channel 2 the sync burst before the sweep and
// the same burst again after it, to check that the recording held together;
// on channel 1 the sweep. Returns the sync-out position.
std::int32_t PrepareSignals(const Settings& settings, double endHz, const RunSizes& sizes,
                            RunBuffers& buffers);

// What a recording already made says.
struct RecordingAnalysis {
  SyncPeak syncIn;
  std::int32_t lag = 0;  // sync-in minus sync-out
  SyncReturn syncReturn = SyncReturn::kMissing;
  // The check burst's lag minus the sync burst's: samples the recording
  // gained (positive) or lost between the two. Unset when the check burst
  // did not come back.
  std::optional<std::int64_t> slip;
  // The room's impulse response (index 0 at the loop-back's zero), the
  // direct sound's delay in it when one stands clear, and the response at
  // fine resolution, the microphone's own taken out. All empty when the
  // sweep is too long for the transform in the memory there is.
  std::vector<float> impulse;
  std::optional<std::int32_t> timeOfFlight;
  FineResponse fine;
  BandLevels levels;
  std::int64_t clippedSamples = 0;  // microphone samples at full scale
};

// Unpacks the recording and analyses it against what was played, taking
// the microphone's response out when a calibration is given.
RecordingAnalysis AnalyseRecording(const Settings& settings, const BandPlan& plan, double endHz,
                                   const RunSizes& sizes, std::int32_t syncOut, RunBuffers& buffers,
                                   const MicCalibration* calibration = nullptr);
