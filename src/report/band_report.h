#pragma once

#include <string>

#include "analysis/band_analysis.h"
#include "setup/band_plan.h"

// The results table of levels, as printed and as saved: two header lines and
// one line per band. It grows as needed, so no band line is ever cut off.
std::string WriteReport(const BandLevels& levels, const BandPlan& plan);

// The one-line warning that names the unresolved bands, or an empty text when
// there are none.
std::string UnresolvedWarning(const BandLevels& levels);

// The one-line warning that names the bands reaching above half the sample
// rate, or an empty text when there are none.
std::string AboveNyquistWarning(const BandLevels& levels);
