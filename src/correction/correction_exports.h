#pragma once

#include <string>

#include "correction/correction_design.h"

// The names under which the save directory holds the exports.
inline constexpr const char* kCamillaDspFileName = "eq-camilladsp.yml";
inline constexpr const char* kEqualizerApoFileName = "eq-equalizerapo.txt";
inline constexpr const char* kSimroomFileName = "eq-simroom.conf";

// CamillaDSP 3 and later name a filter step's channels in a list
// (channels: [0]); 2.x takes one channel (channel: 0). The filters themselves
// are written the same way for both.
enum class CamillaDspSyntax { kVersion2, kVersion3 };

// Every builder writes numbers in the C locale whatever the program's locale:
// frequencies to 0.1 Hz, gains to 0.01 dB, Q to 0.001. A design that holds an
// error gives an empty text.

// A `filters:` block (the pre-gain as a Gain filter, then one Biquad Peaking
// filter each) and a `pipeline:` with one Filter step on channel 0, to merge
// into a CamillaDSP configuration.
std::string CamillaDspYaml(const CorrectionDesign& design,
                           CamillaDspSyntax syntax = CamillaDspSyntax::kVersion3);

// `Preamp: -X dB` and one `Filter n: ON PK Fc F Hz Gain G dB Q Q` line per
// filter, as EqualizerAPO's config.txt (or a file it includes) reads them.
std::string EqualizerApoText(const CorrectionDesign& design);

// A `correction { ... }` block in the simulated room's filter syntax, which
// the room applies after its own filters.
std::string SimroomCorrection(const CorrectionDesign& design);
