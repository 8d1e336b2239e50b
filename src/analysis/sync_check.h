#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "audio/sample_word.h"

// What input 2 carried back.
enum class SyncReturn {
  kClear,          // the burst, standing well clear of the channel's noise
  kMissing,        // nothing that looks like the burst: the cable is not doing its job
  kLate,           // the burst, but later than the sync search reaches
  kSweepOnInput2,  // the sweep: the inputs are swapped, or the device has one channel
};

// A copy of a burst in a recording: where it starts, to a fraction of a
// sample, and its correlation with the burst (its level times the burst's
// energy).
struct BurstMatch {
  double start = 0.0;
  double correlation = 0.0;
};

// The first copy of burst in returned that starts within [firstStart,
// lastStart]: the recording is correlated with the burst (a matched filter),
// the first correlation within 10 % of the stretch's largest is climbed to
// its top, and a parabola through the top and its neighbours places it
// between samples. Noise far below the burst moves that by a small fraction
// of a sample, where it would move the loudest sample by a whole one. None
// when nothing correlates positively.
std::optional<BurstMatch> MatchBurst(std::span<const SampleWord> returned,
                                     std::span<const SampleWord> burst, std::int64_t firstStart,
                                     std::int64_t lastStart);

// Where to look. The recording of input 2 and the burst as it was sent (its
// samples start at sentStart in the played signal, its crest at sentCrest).
struct SyncEvidence {
  std::span<const SampleWord> returned;
  std::span<const SampleWord> sentBurst;
  std::int32_t sentStart = 0;
  std::int32_t sentCrest = 0;
  // The sync search: the returned crest must lie before this index.
  std::int64_t searchLength = 0;
  // A return after the search is looked for up to this start.
  std::int64_t lateSearchEnd = 0;
  // The check burst plays this long after the sync burst; a short run's
  // check burst may come back inside the sync search. 0: none is played.
  std::int64_t checkBurstDelay = 0;
  // The stretch of the played signal that the tone fills, clear of the
  // bursts and their echoes; it comes back one lag later.
  std::int64_t toneBegin = 0;
  std::int64_t toneEnd = 0;
  // The lag taken when no burst came back.
  std::int64_t fallbackLag = 0;
};

struct SyncJudgement {
  SyncReturn returned = SyncReturn::kMissing;
  std::optional<BurstMatch> match;  // the burst's copy, when one came back
  std::int64_t lag = 0;             // its start minus sentStart, rounded
};

// Finds and judges the returned burst: by the matched filter, by its level
// against the rest of the search and by its shape against the burst that
// was sent. A burst that came back clearly inside the search is fine
// wherever it lies, early ones included: a capture stream that starts late
// makes the return look early, and the alignment is still right. One that
// came back only after the search is late: the round trip is longer than
// the run allows for.
SyncJudgement JudgeSyncReturn(const SyncEvidence& evidence);
