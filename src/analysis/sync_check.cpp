#include "analysis/sync_check.h"

#include <algorithm>
#include <cmath>

namespace {

// The burst's crest must stand this far above every other sample of the
// stretch searched (12 dB): noise, hum or crosstalk never do.
constexpr double kClearance = 4.0;
// And the returned stretch must look like the burst that was sent.
constexpr double kMinCorrelation = 0.9;
// Samples either side of the crest that belong to the burst and its ringing.
constexpr std::int64_t kBurstReach = 96;
// A correlation this close to the stretch's largest counts as a copy of the
// burst; the burst's own side lobes stay below a fifth of its peak.
constexpr double kCopyShare = 0.9;
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

double Correlation(std::span<const SampleWord> returned, std::span<const SampleWord> burst,
                   std::int64_t start) {
  const std::span<const SampleWord> heard =
      Stretch(returned, start, start + static_cast<std::int64_t>(burst.size()));
  double sum = 0.0;
  for (std::size_t j = 0; j < heard.size(); ++j) {
    sum += static_cast<double>(burst[j]) * static_cast<double>(heard[j]);
  }
  return sum;
}

bool CarriesTheSweep(const SyncEvidence& e, std::int64_t lag) {
  const double tone = Rms(Stretch(e.returned, e.toneBegin + lag, e.toneEnd + lag));
  const double silence = Rms(Stretch(e.returned, 0, e.sentStart / 2));
  return tone > kSweepRms && tone > kSweepOverSilence * std::max(silence, 1.0);
}

// The burst's copy starting at start stands clear of every other sample of
// [begin, end), the check burst's return aside, and has the sent burst's shape.
bool IsTheBurst(const SyncEvidence& e, std::int64_t start, std::int64_t begin, std::int64_t end) {
  const std::span<const SampleWord> heard =
      Stretch(e.returned, start, start + static_cast<std::int64_t>(e.sentBurst.size()));
  if (heard.size() != e.sentBurst.size() || heard.empty()) {
    return false;
  }
  const std::int64_t crest = start + (e.sentCrest - e.sentStart);
  double others = 0.0;
  for (std::int64_t at = std::max<std::int64_t>(begin, 0);
       at < std::min<std::int64_t>(end, static_cast<std::int64_t>(e.returned.size())); ++at) {
    if (std::llabs(at - crest) > kBurstReach &&
        (e.checkBurstDelay == 0 || std::llabs(at - crest - e.checkBurstDelay) > kBurstReach)) {
      others = std::max(others,
                        std::fabs(static_cast<double>(e.returned[static_cast<std::size_t>(at)])));
    }
  }
  double both = 0.0;
  double sent = 0.0;
  double got = 0.0;
  double peak = 0.0;
  for (std::size_t i = 0; i < heard.size(); ++i) {
    const auto a = static_cast<double>(e.sentBurst[i]);
    const auto b = static_cast<double>(heard[i]);
    both += a * b;
    sent += a * a;
    got += b * b;
    peak = std::max(peak, b);
  }
  return peak > 0.0 && peak >= kClearance * others && sent > 0.0 && got > 0.0 &&
         both / std::sqrt(sent * got) >= kMinCorrelation;
}

}  // namespace

std::optional<BurstMatch> MatchBurst(std::span<const SampleWord> returned,
                                     std::span<const SampleWord> burst, std::int64_t firstStart,
                                     std::int64_t lastStart) {
  firstStart = std::max<std::int64_t>(firstStart, 0);
  lastStart = std::min(lastStart, static_cast<std::int64_t>(returned.size()) - 1);
  double largest = 0.0;
  for (std::int64_t k = firstStart; k <= lastStart; ++k) {
    largest = std::max(largest, Correlation(returned, burst, k));
  }
  if (!(largest > 0.0)) {
    return std::nullopt;
  }
  // The stretch is searched again rather than kept: it may be as long as
  // the sweep.
  std::int64_t k = firstStart;
  double top = Correlation(returned, burst, k);
  while (top < kCopyShare * largest) {
    top = Correlation(returned, burst, ++k);
  }
  while (k < lastStart) {
    const double next = Correlation(returned, burst, k + 1);
    if (next <= top) {
      break;
    }
    top = next;
    ++k;
  }
  double offset = 0.0;
  if (k > firstStart && k < lastStart) {
    const double before = Correlation(returned, burst, k - 1);
    const double after = Correlation(returned, burst, k + 1);
    const double curvature = before - 2.0 * top + after;
    if (curvature < 0.0) {
      offset = std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    }
  }
  return BurstMatch{static_cast<double>(k) + offset, top};
}

SyncJudgement JudgeSyncReturn(const SyncEvidence& e) {
  SyncJudgement judged;
  const std::int64_t crestOffset = e.sentCrest - e.sentStart;
  // Inside the search the crest, which Sync In reports, must return before
  // its end; a copy beyond it is late.
  const std::int64_t lastInSearch = e.searchLength - 1 - crestOffset;
  if (const auto found = MatchBurst(e.returned, e.sentBurst, 0, lastInSearch);
      found && IsTheBurst(e, std::llround(found->start), 0, e.searchLength)) {
    judged = {SyncReturn::kClear, found, 0};
  } else if (const auto late =
                 MatchBurst(e.returned, e.sentBurst, lastInSearch + 1, e.lateSearchEnd);
             late && IsTheBurst(e, std::llround(late->start), lastInSearch + 1,
                                e.lateSearchEnd + static_cast<std::int64_t>(e.sentBurst.size()))) {
    judged = {SyncReturn::kLate, late, 0};
  }
  judged.lag = judged.match ? std::llround(judged.match->start) - e.sentStart : e.fallbackLag;
  if (CarriesTheSweep(e, judged.lag)) {
    judged.returned = SyncReturn::kSweepOnInput2;
  }
  return judged;
}
