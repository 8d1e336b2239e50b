#pragma once

#include <string>
#include <string_view>

#include "analysis/harmonic_distortion.h"
#include "report/response_plot.h"
#include "report/run_facts.h"

// What a log-sweep run says and writes about its harmonic distortion. Every
// number is written in the C locale, whatever the program's.

inline constexpr std::string_view kDistortionCsvHeader =
    "frequency_hz,fundamental_db,h2_db,h3_db,h4_db,h5_db,thd_percent";
// The run's files: "run-007" + suffix.
inline constexpr std::string_view kDistortionCsvSuffix = "-distortion.csv";
inline constexpr std::string_view kDistortionSvgSuffix = "-distortion.svg";

// The header line, then one line per point: frequency (3 decimals), the
// fundamental's level and H2..H5 relative to it (dB, 2 decimals), THD in
// percent (4 decimals); a field is empty where it was not measured. The
// header alone when the analysis refused.
std::string DistortionCsv(const HarmonicDistortion& distortion);

// The plot: the fundamental and each harmonic at its absolute level (the
// fundamental's plus its own relative one), over the excitation frequency,
// each broken where it was not measured; the title names the run and its
// date, the subtitle its device, settings and distance, or the refusal.
ResponsePlot DistortionPlot(int number, const RunFacts& facts,
                            const HarmonicDistortion& distortion);

// The point within 1/48 octave of hz, if the analysis reached it.
const DistortionPoint* PointAt(const HarmonicDistortion& distortion, double hz);

// One line for standard error, ending in a newline: THD and H2 and H3 at
// 100 Hz, 1 kHz and 10 kHz where they were measured, e.g.
// "Distortion: 100 Hz THD 1.2 % (H2 -40.1 dB, H3 -52.3 dB); 1 kHz THD 0.35 % (H2 -49.2 dB)."
// or why nothing was.
std::string DistortionSummary(const HarmonicDistortion& distortion);
