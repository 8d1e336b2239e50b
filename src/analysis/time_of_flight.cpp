#include "analysis/time_of_flight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

// The envelope the direct sound is read from: the response through a
// three-tap smoother (1/4, 1/2, 1/4: a zero at half the rate), squared. A
// full-range sweep's top edge leaves the direct sound ringing, 13 dB down
// two samples before its peak, which the plain squared response would take
// for its start; smoothed, the ringing stays below the onset level.
template <typename Response>
double Envelope(const Response& h, std::int64_t i) {
  const double smoothed = 0.25 * h(i - 1) + 0.5 * h(i) + 0.25 * h(i + 1);
  return smoothed * smoothed;
}

// The first index of the rise to the envelope's value at peak that stays
// within kOnsetBelowPeakDb of it, looking back no further than lowest.
template <typename Response>
std::int64_t Onset(const Response& h, std::int64_t peak, std::int64_t lowest) {
  const double level = Envelope(h, peak) * std::pow(10.0, -kOnsetBelowPeakDb / 10.0);
  std::int64_t i = peak;
  while (i > lowest && Envelope(h, i - 1) >= level) {
    --i;
  }
  return i;
}

// How far before its centre a click, measured with this sweep, reaches the
// onset level: the sweep's band limits the response to a zero-phase pulse
// (a sinc between its edges), which rises symmetrically around the click,
// half a period of the top edge wide and more. The direct sound's measured
// onset is that much early.
std::int64_t SweepOnsetLead(const SweepRange& range) {
  const double high = 2.0 * range.TopHz() / range.rate;
  const double low = 2.0 * std::max(range.startHz, 0.0) / range.rate;
  const auto sinc = [](double x) {
    return x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
  };
  const auto click = [&](std::int64_t t) {
    const auto at = static_cast<double>(t);
    return high * sinc(high * at) - low * sinc(low * at);
  };
  const auto reach = static_cast<std::int64_t>(range.rate);
  return high > low ? -Onset(click, 0, -reach) : 0;
}

bool StandsClear(std::span<const float> impulse, double clearanceDb) {
  double peak = 0.0;
  double energy = 0.0;
  for (const float value : impulse) {
    const double v = value;
    peak = std::max(peak, std::abs(v));
    energy += v * v;
  }
  if (peak <= 0.0) {
    return false;
  }
  const double rms = std::sqrt(energy / static_cast<double>(impulse.size()));
  return 20.0 * std::log10(peak / rms) >= clearanceDb;
}

}  // namespace

std::optional<std::int32_t> FindTimeOfFlight(std::span<const float> impulse,
                                             const SweepRange& range, double clearanceDb) {
  if (impulse.empty() || !StandsClear(impulse, clearanceDb)) {
    return std::nullopt;
  }
  const auto size = static_cast<std::int64_t>(impulse.size());
  const auto h = [impulse, size](std::int64_t i) {
    return i >= 0 && i < size ? static_cast<double>(impulse[static_cast<std::size_t>(i)]) : 0.0;
  };
  double largest = 0.0;
  for (std::int64_t i = 0; i < size; ++i) {
    largest = std::max(largest, Envelope(h, i));
  }
  const double withinSixDb = largest * std::pow(10.0, -6.0 / 10.0);
  std::int64_t peak = 0;
  while (Envelope(h, peak) < withinSixDb) {
    ++peak;
  }
  while (peak + 1 < size && Envelope(h, peak + 1) > Envelope(h, peak)) {
    ++peak;
  }
  const std::int64_t onset = Onset(h, peak, 0) + SweepOnsetLead(range);
  return static_cast<std::int32_t>(std::min(onset, peak));
}

double ResponseSnrDb(std::span<const float> impulse) {
  double peak = 0.0;
  for (const float value : impulse) {
    peak = std::max(peak, static_cast<double>(value) * static_cast<double>(value));
  }
  const std::span<const float> tail = impulse.subspan(impulse.size() / 2);
  double floor = 0.0;
  for (const float value : tail) {
    floor += static_cast<double>(value) * static_cast<double>(value);
  }
  if (peak <= 0.0) {
    return 0.0;
  }
  floor /= static_cast<double>(std::max<std::size_t>(tail.size(), 1));
  return floor > 0.0 ? 10.0 * std::log10(peak / floor) : HUGE_VAL;
}

FlightSummary SummariseFlight(std::int32_t samples, double rate, double speedOfSound) {
  const double seconds = static_cast<double>(samples) / rate;
  return {samples, seconds * 1000.0, seconds * speedOfSound};
}
