#include "correction/correction_exports.h"

#include <charconv>
#include <cstddef>
#include <string_view>

#include "text/c_number.h"

namespace {

std::string Hz(double hz) {
  return FixedCNumber(hz, 1);
}
std::string Db(double db) {
  return FixedCNumber(db, 2);
}
std::string Q(double q) {
  return FixedCNumber(q, 3);
}

std::string FilterCount(const CorrectionDesign& design) {
  const std::size_t n = design.filters.size();
  return std::to_string(n) + (n == 1 ? " peaking filter" : " peaking filters");
}

}  // namespace

std::string CamillaDspYaml(const CorrectionDesign& design, CamillaDspSyntax syntax) {
  if (!design.error.empty()) {
    return {};
  }
  const bool listOfChannels = syntax == CamillaDspSyntax::kVersion3;
  std::string text = "# Room correction from tonvale: " + FilterCount(design) +
                     " after a pre-gain that keeps them from raising the level.\n"
                     "# Merge the filters into your CamillaDSP configuration and the step into "
                     "its pipeline;\n# the step filters channel 0: change it to the channel "
                     "you measured.\n";
  text += listOfChannels ? "# Written for CamillaDSP 3 and later; on 2.x write `channel: 0`.\n"
                         : "# Written for CamillaDSP 2.x; from 3.0 on write `channels: [0]`.\n";
  text += "filters:\n  tonvale_pregain:\n    type: Gain\n    parameters:\n      gain: " +
          Db(design.preGainDb) + "\n      inverted: false\n";
  std::string names = "      - tonvale_pregain\n";
  for (std::size_t i = 0; i < design.filters.size(); ++i) {
    const PeakingFilter& f = design.filters[i];
    const std::string name = "tonvale_peak_" + std::to_string(i + 1);
    text += "  " + name + ":\n    type: Biquad\n    parameters:\n      type: Peaking\n" +
            "      freq: " + Hz(f.hz) + "\n      gain: " + Db(f.gainDb) + "\n      q: " + Q(f.q) +
            "\n";
    names += "      - " + name + "\n";
  }
  text += "pipeline:\n  - type: Filter\n";
  text += listOfChannels ? "    channels: [0]\n" : "    channel: 0\n";
  return text + "    names:\n" + names;
}

std::string EqualizerApoText(const CorrectionDesign& design) {
  if (!design.error.empty()) {
    return {};
  }
  std::string text = "# Room correction from tonvale: " + FilterCount(design) +
                     ". Include this file from EqualizerAPO's config.txt.\n"
                     "Preamp: " +
                     Db(design.preGainDb) + " dB\n";
  for (std::size_t i = 0; i < design.filters.size(); ++i) {
    const PeakingFilter& f = design.filters[i];
    text += "Filter " + std::to_string(i + 1) + ": ON PK Fc " + Hz(f.hz) + " Hz Gain " +
            Db(f.gainDb) + " dB Q " + Q(f.q) + "\n";
  }
  return text;
}

std::string SimroomCorrection(const CorrectionDesign& design) {
  if (!design.error.empty()) {
    return {};
  }
  std::string text =
      "# Room correction from tonvale: " + FilterCount(design) +
      ". Paste the block into the simulated room's\n"
      "# pcm entry (next to its `filters`), where it acts after the room's own filters, and\n"
      "# measure again to see the corrected response. The pre-gain of " +
      Db(design.preGainDb) +
      " dB is left out:\n# a gain that is the same at every frequency only shifts the measured "
      "levels.\n"
      "correction {\n";
  for (std::size_t i = 0; i < design.filters.size(); ++i) {
    const PeakingFilter& f = design.filters[i];
    text += "    " + std::to_string(i) + " { type \"peaking\" freq " + Hz(f.hz) + " q " + Q(f.q) +
            " gain_db " + Db(f.gainDb) + " }\n";
  }
  return text + "}\n";
}
