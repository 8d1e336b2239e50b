#include "report/run_facts.h"

#include <cstdio>

namespace {

constexpr double kRate = 48000.0;
// In air at 20 degrees C; the distance is a hint for the user, not a result.
constexpr double kSoundMetresPerSecond = 343.0;

}  // namespace

std::string SettingsText(const RunFacts& facts) {
  char text[160];
  std::snprintf(text, sizeof text, "Q %g, %d bands, %g-%g Hz, %g s sweep", facts.qFactor,
                facts.bandCount, facts.startHz, facts.endHz, facts.sweepSeconds);
  return text;
}

std::string DistanceText(const RunFacts& facts) {
  if (!facts.flightSamples) {
    return "distance unknown";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f m to the microphone",
                *facts.flightSamples / kRate * kSoundMetresPerSecond);
  return text;
}

std::string FlightText(const RunFacts& facts) {
  if (!facts.flightSamples) {
    return "no time of flight found";
  }
  const double seconds = *facts.flightSamples / kRate;
  char text[120];
  std::snprintf(text, sizeof text, "%d samples, %.2f ms, %.2f m to the microphone",
                *facts.flightSamples, seconds * 1000.0, seconds * kSoundMetresPerSecond);
  return text;
}
