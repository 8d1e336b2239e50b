#include "console/measurement_run.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "audio/play_rec.h"
#include "audio/sample_packing.h"
#include "console/results_file.h"
#include "console/settings_limits.h"
#include "signals/sweep.h"
#include "signals/sync_pulse.h"

namespace {

constexpr const char* kResultsFile = "sweep_out.txt";
constexpr SampleWord kLargestSample = 8388607;

// Sizes of one run, from the sweep length.
struct RunSizes {
  std::int32_t sweepSamples = 0;
  std::int32_t totalSamples = 0;
  std::int32_t planeBytes = 0;
};

// Works out the sizes of a run. The sweep length has passed the console's
// limit, which keeps every size within the signed 32-bit counts.
RunSizes ComputeSizes(double sweepSeconds) {
  RunSizes sizes;
  // The product is formed in extended precision before it is truncated:
  // 0.7 s gives 33599 samples, not 33600.
  sizes.sweepSamples =
      static_cast<std::int32_t>(static_cast<long double>(SAMPLE_RATE) * sweepSeconds);
  sizes.totalSamples = sizes.sweepSamples + 2 * EDGE_PAD;
  sizes.planeBytes = 3 * sizes.totalSamples;
  return sizes;
}

// The five buffers of one run, zero-filled, in the order they are allocated.
struct RunBuffers {
  std::vector<double> freqTrack;
  std::vector<SampleWord> sweepWords;
  std::vector<SampleWord> recordWords;
  std::vector<std::int8_t> playBuffer;
  std::vector<std::int8_t> recordBuffer;

  // Returns false, having said so on standard error, when memory runs out.
  bool Allocate(const RunSizes& sizes) {
    const auto total = static_cast<std::size_t>(sizes.totalSamples);
    try {
      freqTrack.assign(total, 0.0);
      sweepWords.assign(total, 0);
      recordWords.assign(total, 0);
      playBuffer.assign(2 * total * 3, 0);
      recordBuffer.assign(2 * total * 3, 0);
    } catch (const std::bad_alloc&) {
      Release();
      std::fprintf(stderr,
                   "Not enough memory for a sweep of this length (%zu bytes needed); nothing "
                   "was played. Set a shorter sweep with 't' and run again.\n",
                   total * 28);
      return false;
    }
    return true;
  }

  // Hands the memory back in allocation order.
  void Release() {
    std::vector<double>().swap(freqTrack);
    std::vector<SampleWord>().swap(sweepWords);
    std::vector<SampleWord>().swap(recordWords);
    std::vector<std::int8_t>().swap(playBuffer);
    std::vector<std::int8_t>().swap(recordBuffer);
  }
};

// A sync channel with nothing above zero, or a pulse that seems to return
// before it was sent, means the loop-back cable is not doing its job.
void WarnIfNoSync(const SyncArray& syncWords, std::int32_t syncIn, std::int32_t syncOut) {
  const bool anyPositive =
      std::any_of(syncWords.begin(), syncWords.end(), [](SampleWord s) { return s > 0; });
  if (anyPositive && syncIn >= syncOut) {
    return;
  }
  std::fprintf(stderr,
               "Warning: no sync pulse came back on input 2, so the results are not aligned "
               "with the sweep and cannot be trusted. Check the cable from output 2 to input 2 "
               "and repeat the measurement.\n");
}

void WarnIfClipped(const std::vector<SampleWord>& recorded) {
  const auto clipped = std::count_if(recorded.begin(), recorded.end(), [](SampleWord s) {
    return s >= kLargestSample || s <= -kLargestSample;
  });
  if (clipped == 0) {
    return;
  }
  std::fprintf(stderr,
               "Warning: the microphone input (input 1) reached full scale in %ld samples, so "
               "the loud bands read too low. Lower the input gain and repeat the measurement.\n",
               static_cast<long>(clipped));
}

}  // namespace

bool RunMeasurement(const Settings& settings, const BandPlan& plan, double endHz,
                    std::string& reportText, SyncArray& pulseWords, SyncArray& syncWords,
                    CommandWord& commandWord) {
  // The console refuses what a run cannot measure; this keeps a run safe
  // when it is handed such settings all the same.
  if (settings.bandCount > kMaxBands || CheckSweepSeconds(settings.sweepSeconds) != nullptr) {
    std::fprintf(stderr,
                 "These settings cannot be measured (at most %i bands, a sweep of 0 to %.0f "
                 "seconds); change them and run again.\n",
                 kMaxBands, kMaxSweepSeconds);
    return true;
  }
  const RunSizes sizes = ComputeSizes(settings.sweepSeconds);
  RunBuffers buffers;
  if (!buffers.Allocate(sizes)) {
    return true;
  }

  const std::int32_t syncOut = MakePulse(pulseWords.data(), SAMPLE_RATE, SYNC_LEN, EDGE_PAD);
  NUM24_TO_CHAR(pulseWords.data(), buffers.playBuffer.data() + sizes.planeBytes, SYNC_LEN);
  syncWords.fill(0);
  MakeSweep(SAMPLE_RATE, buffers.sweepWords.data(), buffers.freqTrack.data(), settings.startHz,
            endHz, sizes.totalSamples, 0.5, EDGE_PAD);
  NUM24_TO_CHAR(buffers.sweepWords.data(), buffers.playBuffer.data(), sizes.totalSamples);

  PLAY_REC(2, 3, settings.deviceName.data(), SAMPLE_RATE, 0, sizes.totalSamples,
           buffers.playBuffer.data(), buffers.recordBuffer.data(), 3, sizes.planeBytes);

  CHAR_TO_NUM32(buffers.recordBuffer.data(), buffers.recordWords.data(), 3, sizes.totalSamples);
  CHAR_TO_NUM32(buffers.recordBuffer.data() + sizes.planeBytes, syncWords.data(), 3, SYNC_LEN);
  const std::int32_t syncIn = FindPeak(syncWords.data(), SYNC_LEN);
  std::printf("Sync Out = %i \t Sync In = %i samples\n", syncOut, syncIn);
  std::fflush(stdout);
  WarnIfNoSync(syncWords, syncIn, syncOut);
  std::printf("Analyzing data...\n");
  const std::int32_t syncOffset = syncIn - syncOut;

  Analyze(sizes.totalSamples, settings.bandCount, buffers.freqTrack.data(),
          buffers.recordWords.data(), syncOffset, plan.low.data(), plan.high.data(), reportText,
          EDGE_PAD);
  std::fflush(stdout);
  WarnIfClipped(buffers.recordWords);

  (void)AppendResults(kResultsFile, reportText);

  const bool inputLeft = WaitForContinue(commandWord);
  buffers.Release();
  return inputLeft;
}
