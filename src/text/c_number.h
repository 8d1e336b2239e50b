#pragma once

#include <optional>
#include <string>
#include <string_view>

// Numbers read the same way whatever locale the user runs in: a calibration
// file written with "1000.5" must not turn into 1000 on a machine whose
// decimal separator is a comma.

// Reads a real number (as strtod does in the C locale) from the start of
// text, leading blanks allowed. Returns the number and how many characters
// it took, or nothing when text does not start with a number.
struct ScannedNumber {
  double value = 0.0;
  std::size_t length = 0;
};
std::optional<ScannedNumber> ScanCNumber(std::string_view text);

// The whole of text as one finite real number, or nothing.
std::optional<double> ParseFiniteNumber(std::string_view text);

// value with the given decimals in the C locale, never "-0.0": what the
// saved tables and exports write, whatever the user's locale.
std::string FixedCNumber(double value, int decimals);
