#include "report/run_facts.h"

#include <cstdio>

#include "analysis/time_of_flight.h"

std::string SettingsText(const RunFacts& facts) {
  char text[160];
  std::snprintf(text, sizeof text, "Q %g, %d bands, %g-%g Hz, %g s %ssweep", facts.qFactor,
                facts.bandCount, facts.startHz, facts.endHz, facts.sweepSeconds,
                facts.logSweep ? "log " : "");
  return text;
}

std::string SplText(const RunFacts& facts) {
  if (!facts.splOffsetDb) {
    return {};
  }
  char text[96];
  std::snprintf(text, sizeof text, "levels in dB SPL (0 dBFS = %.2f dB SPL", *facts.splOffsetDb);
  return text + (facts.splFile.empty() ? std::string(")") : ", from " + facts.splFile + ")");
}

std::string DistanceText(const RunFacts& facts) {
  if (!facts.flightSamples) {
    return "distance unknown";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f m to the microphone",
                SummariseFlight(*facts.flightSamples, facts.rate).metres);
  return text;
}

std::string FlightText(const RunFacts& facts) {
  if (!facts.flightSamples) {
    return "no time of flight found";
  }
  const FlightSummary flight = SummariseFlight(*facts.flightSamples, facts.rate);
  char text[120];
  std::snprintf(text, sizeof text, "%d samples, %.2f ms, %.2f m to the microphone", flight.samples,
                flight.milliseconds, flight.metres);
  return text;
}
