#pragma once

#include <string_view>

#include "base/expected.h"

// One line of the plain-text responses that measurement tools exchange
// (calibration files, FRD files): "frequency dB [phase]", the numbers in the
// C locale, separated by spaces, tabs or commas.

struct ResponseLine {
  double hz = 0.0;
  double db = 0.0;
  double phaseDeg = 0.0;  // 0 when the line has none
};

// Why a line is not one.
enum class ResponseLineError {
  kNoNumber,      // it does not start with a number
  kGlued,         // the frequency runs into the next word
  kNoLevel,       // the dB value is missing
  kTrailingText,  // more than three numbers, or words after them
  kBadFrequency,  // not a positive finite number
  kBadLevel,      // not a finite number
};

// Reads one line. Leading blanks and a trailing '\r' are allowed; with
// allowTrailing, whatever follows the dB value (a phase, a comment) may stand
// there unread, as calibration files carry notes after their numbers.
Expected<ResponseLine, ResponseLineError> ReadResponseLine(std::string_view line,
                                                           bool allowTrailing);

// The line's wording of an error, for a message that names file and line.
const char* DescribeResponseLineError(ResponseLineError error);
