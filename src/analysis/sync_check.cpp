#include "analysis/sync_check.h"

#include <algorithm>
#include <cmath>

namespace {

// The burst's crest must stand this far above every other sample of the
// sync search (12 dB): noise, hum or crosstalk never do.
constexpr double kClearance = 4.0;
// And the returned stretch must look like the burst that was sent.
constexpr double kMinCorrelation = 0.9;
// Samples either side of the crest that belong to the burst and its ringing.
constexpr std::int64_t kBurstReach = 96;
// Input 2 louder than this during the tone, and well above its own silence
// before the run, carries the sweep (RMS, about -60 dB re full scale).
constexpr double kSweepRms = 8388608.0 * 1e-3;
constexpr double kSweepOverSilence = 10.0;

double Rms(std::span<const SampleWord> samples) {
  if (samples.empty()) {
    return 0.0;
  }
  double sum = 0.0;
  for (const SampleWord s : samples) {
    sum += static_cast<double>(s) * static_cast<double>(s);
  }
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

std::span<const SampleWord> Stretch(std::span<const SampleWord> all, std::int64_t begin,
                                    std::int64_t end) {
  const auto size = static_cast<std::int64_t>(all.size());
  begin = std::clamp<std::int64_t>(begin, 0, size);
  end = std::clamp<std::int64_t>(end, begin, size);
  return all.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool CarriesTheSweep(const SyncEvidence& e) {
  const double tone = Rms(Stretch(e.returned, e.toneBegin, e.toneEnd));
  const double silence = Rms(Stretch(e.returned, 0, e.sentStart / 2));
  return tone > kSweepRms && tone > kSweepOverSilence * std::max(silence, 1.0);
}

bool StandsClear(const SyncEvidence& e, std::int64_t searchLength) {
  const std::span<const SampleWord> search = Stretch(e.returned, 0, searchLength);
  double others = 0.0;
  for (std::size_t i = 0; i < search.size(); ++i) {
    const auto at = static_cast<std::int64_t>(i);
    if (std::llabs(at - e.found.index) > kBurstReach &&
        std::llabs(at - e.checkBurstCrest) > kBurstReach) {
      others = std::max(others, std::fabs(static_cast<double>(search[i])));
    }
  }
  return e.found.peak > 0.0 && e.found.peak >= kClearance * others;
}

bool LooksLikeTheBurst(const SyncEvidence& e) {
  const std::int64_t begin = e.found.index - (e.sentCrest - e.sentStart);
  const std::span<const SampleWord> heard =
      Stretch(e.returned, begin, begin + static_cast<std::int64_t>(e.sentBurst.size()));
  if (heard.size() != e.sentBurst.size() || heard.empty()) {
    return false;
  }
  double both = 0.0;
  double sent = 0.0;
  double got = 0.0;
  for (std::size_t i = 0; i < heard.size(); ++i) {
    const auto a = static_cast<double>(e.sentBurst[i]);
    const auto b = static_cast<double>(heard[i]);
    both += a * b;
    sent += a * a;
    got += b * b;
  }
  return sent > 0.0 && got > 0.0 && both / std::sqrt(sent * got) >= kMinCorrelation;
}

}  // namespace

SyncReturn JudgeSyncReturn(const SyncEvidence& evidence, std::int64_t searchLength) {
  if (CarriesTheSweep(evidence)) {
    return SyncReturn::kSweepOnInput2;
  }
  return StandsClear(evidence, searchLength) && LooksLikeTheBurst(evidence) ? SyncReturn::kClear
                                                                            : SyncReturn::kMissing;
}
