#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/response_point.h"
#include "report/run_facts.h"

// The plain-text response format that room and speaker tools exchange: header
// lines that begin with '*', then one "frequency dB phase" line per point at
// rising frequency, separated by single spaces.

inline constexpr std::string_view kProgramAndVersion = "Tonvale 1.00";

// The header of a measured run: program, date, device, settings, time of
// flight and the calibration file when one was applied (without the '*').
std::vector<std::string> RunHeader(const RunFacts& facts);

// The whole file: every header line behind "* ", then the points.
std::string FormatFrd(std::span<const std::string> header, const FineResponse& response);

struct FrdContents {
  bool ok = true;
  std::string message;              // when not ok: what is wrong, and on which line
  std::vector<std::string> header;  // without the leading '*' and blank
  FineResponse points;
};

// Reads FRD text: '*' and '#' lines and blank lines are comments; a point
// line holds a frequency, a dB value and optionally a phase (0 when absent).
// Frequencies must be positive and rising.
FrdContents ParseFrd(std::string_view text);

// ParseFrd on the file at path; the message names the file.
FrdContents ReadFrdFile(const std::filesystem::path& path);
