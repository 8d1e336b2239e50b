#include "signals/sync_pulse.h"

#include <cmath>

namespace {

constexpr double kTurn = 6.28318;
// Half of full scale, the level of the sweep.
constexpr double kBurstCrest = 4194304.0;
// The burst's phase counts from this absolute index, so where in its cycle
// the burst starts depends on pad.
constexpr double kPhaseOrigin = 500.0;

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the long-standing signature
std::int32_t MakePulse(SampleWord* samples, std::uint32_t rate, std::int32_t length,
                       std::int32_t pad) {
  const double w = (kTurn / static_cast<double>(rate)) * static_cast<double>(kBurstHz);
  const double end =
      static_cast<double>(pad) + static_cast<double>(rate) / static_cast<double>(kBurstHz);

  for (std::int32_t i = 0; i < pad; ++i) {
    samples[i] = 0;
  }
  double best = 0.0;
  std::int32_t result = 0;
  std::int32_t i = pad;
  for (; static_cast<double>(i) < end; ++i) {
    const auto v = static_cast<SampleWord>(std::sin((static_cast<double>(i) - kPhaseOrigin) * w) *
                                           kBurstCrest);
    samples[i] = v;
    // Strictly greater: the first of equal maxima is the sync position, the
    // same rule the search in the recording applies.
    if (static_cast<double>(v) > best) {
      best = static_cast<double>(v);
      result = i;
    }
  }
  for (; i < length; ++i) {
    samples[i] = 0;
  }
  return result;
}
