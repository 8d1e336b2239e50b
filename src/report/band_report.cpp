#include "report/band_report.h"

#include "report/text_format.h"

std::string WriteReport(const BandLevels& levels, const BandPlan& plan) {
  std::string report = "Results:\nBand\tRange (Hz)\tdB\n";
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    AppendFormat(report, "%i\t%.0f\t%.0f\t%.1f\n", static_cast<int>(k + 1), plan.low[k],
                 plan.high[k], levels.bands[k].level);
  }
  return report;
}

std::string UnresolvedWarning(const BandLevels& levels) {
  std::string names;
  std::size_t unresolvedCount = 0;
  const std::size_t n = levels.bands.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (!levels.bands[k].unresolved) {
      continue;
    }
    ++unresolvedCount;
    // Neighbouring bands are named as a range, so even a long list of low
    // bands stays short: "1-10, 12".
    const bool startsRange = k == 0 || !levels.bands[k - 1].unresolved;
    const bool endsRange = k + 1 == n || !levels.bands[k + 1].unresolved;
    if (startsRange) {
      AppendFormat(names, "%s%zu", names.empty() ? "" : ", ", k + 1);
    } else if (endsRange) {
      AppendFormat(names, "-%zu", k + 1);
    }
  }
  if (unresolvedCount == 0) {
    return {};
  }
  const bool one = unresolvedCount == 1;
  const bool referenceUnresolved =
      levels.referenceBand >= 0 &&
      levels.bands[static_cast<std::size_t>(levels.referenceBand)].unresolved;
  std::string text;
  AppendFormat(text, "Warning: %s %s %s fewer than 3 cycles of %s tone, so %s unreliable",
               one ? "band" : "bands", names.c_str(), one ? "holds" : "hold", one ? "its" : "their",
               one ? "its level is" : "their levels are");
  text += referenceUnresolved
              ? " and, as no other band has a level, the 0 dB reference is among them."
              : " and left out of the choice of the 0 dB reference.";
  text += " Use a longer sweep or a narrower frequency range.\n";
  return text;
}

