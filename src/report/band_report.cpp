#include "report/band_report.h"

#include <utility>

#include "text/text_format.h"

std::string WriteReport(const BandLevels& levels, const BandPlan& plan) {
  std::string report = "Results:\nBand\tRange (Hz)\tdB\n";
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    AppendFormat(report, "%i\t%.0f\t%.0f\t%.1f\n", static_cast<int>(k + 1), plan.low[k],
                 plan.high[k], levels.bands[k].level);
  }
  return report;
}

namespace {

// The numbers of the bands that match, neighbours named as a range so that
// even a long list stays short ("1-10, 12"), and how many there are.
template <typename Matches>
std::pair<std::string, std::size_t> NameBands(const BandLevels& levels, Matches matches) {
  std::string names;
  std::size_t count = 0;
  const std::size_t n = levels.bands.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (!matches(levels.bands[k])) {
      continue;
    }
    ++count;
    const bool startsRange = k == 0 || !matches(levels.bands[k - 1]);
    const bool endsRange = k + 1 == n || !matches(levels.bands[k + 1]);
    if (startsRange) {
      AppendFormat(names, "%s%zu", names.empty() ? "" : ", ", k + 1);
    } else if (endsRange) {
      AppendFormat(names, "-%zu", k + 1);
    }
  }
  return {names, count};
}

}  // namespace

std::string UnresolvedWarning(const BandLevels& levels) {
  const auto [names, unresolvedCount] =
      NameBands(levels, [](const BandResult& b) { return b.unresolved; });
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

std::string AboveNyquistWarning(const BandLevels& levels) {
  const auto [names, count] = NameBands(levels, [](const BandResult& b) { return b.aboveNyquist; });
  if (count == 0) {
    return {};
  }
  std::string text;
  AppendFormat(text,
               "Warning: %s %s %s above %.0f Hz, the highest tone a %.0f Hz recording can "
               "hold, so no tone is played there; %s left out of the choice of the 0 dB "
               "reference. To stay below %.0f kHz use fewer bands or a smaller Q.\n",
               count == 1 ? "band" : "bands", names.c_str(), count == 1 ? "reaches" : "reach",
               levels.nyquistHz, 2.0 * levels.nyquistHz, count == 1 ? "it is" : "they are",
               levels.nyquistHz / 1000.0);
  return text;
}
