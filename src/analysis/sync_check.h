#pragma once

#include <cstdint>
#include <span>

#include "analysis/levels.h"
#include "audio/sample_word.h"

// What input 2 carried back.
enum class SyncReturn {
  kClear,          // the burst, standing well clear of the channel's noise
  kMissing,        // nothing that looks like the burst: the cable is not doing its job
  kSweepOnInput2,  // the sweep: the inputs are swapped, or the device has one channel
};

// Where to look. The recording of input 2, the burst as it was sent (its
// samples start at sentStart in the played signal, its crest at sentCrest),
// the crest found in the first searchLength samples, and the stretch of the
// recording that the sweep's tone fills.
struct SyncEvidence {
  std::span<const SampleWord> returned;
  std::span<const SampleWord> sentBurst;
  std::int32_t sentStart = 0;
  std::int32_t sentCrest = 0;
  SyncPeak found;
  std::int64_t toneBegin = 0;
  std::int64_t toneEnd = 0;
  // Where the check burst after the sweep comes back, if the first burst
  // was found: it may lie inside a short run's sync search.
  std::int64_t checkBurstCrest = -1;
};

// Judges the returned burst by its level against the rest of the sync search
// and by its shape against the burst that was sent. A burst that came back
// clearly is fine wherever it lies, early ones included: a capture stream
// that starts late makes the return look early, and the alignment is still
// right.
SyncReturn JudgeSyncReturn(const SyncEvidence& evidence, std::int64_t searchLength);
