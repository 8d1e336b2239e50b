#pragma once

// What a run says about the room's acoustics: the per-band table as CSV, the
// average over runs as CSV, and one line for standard error.

#include <span>
#include <string>

#include "analysis/room_acoustics.h"

inline constexpr const char* kAcousticsCsvHeader =
    "band_hz,edt_s,t20_s,t30_s,c50_db,c80_db,d50,ts_ms,range_db,flags";

// run-NNN-acoustics.csv: the header above, then one line per band. Numbers in
// the C locale (3 decimals for seconds and D50, 2 for dB, 1 for ms and the
// range); an empty field where a value cannot be had; flags: the words
// "range", "fit" and "filter" of any of the band's values, space-separated
// (which values they concern: see AcousticFlag and range_db).
// "range fit": the words of AcousticFlag bits, as the CSV writes them.
std::string FlagWords(unsigned flags);

std::string AcousticsCsv(std::span<const BandAcoustics> bands);

// The average over runs: per band the number of runs that measured it, then
// per parameter the mean of the runs where it was unflagged, the sample
// standard deviation of those values (empty below two) and their count:
// band_hz,runs,edt_s,edt_sd_s,edt_n,t20_s,...,ts_ms,ts_sd_ms,ts_n
std::string AverageAcousticsCsv(std::span<const BandAverage> bands);

// One line (with its newline) for standard error: "Room: T30 0.52 s, EDT
// 0.48 s, C80 3.1 dB (mean of 500 Hz and 1 kHz).", from the unflagged values
// (SummariseMidFrequencies); or, when no band gave a single unflagged value
// (or there was no band), what to do about it.
std::string AcousticsSummaryLine(std::span<const BandAcoustics> bands);
