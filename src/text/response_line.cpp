#include "text/response_line.h"

#include <cmath>
#include <optional>

#include "text/c_number.h"

namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r';
}

std::string_view SkipSeparators(std::string_view text) {
  while (!text.empty() && IsSeparator(text.front())) {
    text.remove_prefix(1);
  }
  return text;
}

// The next number after the separators, and what follows it.
std::optional<double> NextNumber(std::string_view& rest) {
  rest = SkipSeparators(rest);
  const std::optional<ScannedNumber> number = ScanCNumber(rest);
  if (!number) {
    return std::nullopt;
  }
  rest.remove_prefix(number->length);
  return number->value;
}

}  // namespace

Expected<ResponseLine, ResponseLineError> ReadResponseLine(std::string_view line,
                                                           bool allowTrailing) {
  std::string_view rest = line;
  const std::optional<double> hz = NextNumber(rest);
  if (!hz) {
    return Unexpected{ResponseLineError::kNoNumber};
  }
  if (!rest.empty() && !IsSeparator(rest.front())) {
    return Unexpected{ResponseLineError::kGlued};
  }
  const std::optional<double> db = NextNumber(rest);
  if (!db) {
    return Unexpected{ResponseLineError::kNoLevel};
  }
  if (!std::isfinite(*hz) || *hz <= 0.0) {
    return Unexpected{ResponseLineError::kBadFrequency};
  }
  if (!std::isfinite(*db)) {
    return Unexpected{ResponseLineError::kBadLevel};
  }
  ResponseLine read{*hz, *db, 0.0};
  if (allowTrailing) {
    return read;
  }
  if (const std::optional<double> phase = NextNumber(rest)) {
    read.phaseDeg = *phase;
  }
  if (!SkipSeparators(rest).empty()) {
    return Unexpected{ResponseLineError::kTrailingText};
  }
  return read;
}

const char* DescribeResponseLineError(ResponseLineError error) {
  switch (error) {
    case ResponseLineError::kNoNumber:
    case ResponseLineError::kTrailingText:
      return "expected \"frequency dB [phase]\"";
    case ResponseLineError::kGlued:
      return "the frequency must be followed by a space, tab or comma";
    case ResponseLineError::kNoLevel:
      return "expected 'frequency dB'; the dB value is missing";
    case ResponseLineError::kBadFrequency:
      return "the frequency must be a positive number";
    case ResponseLineError::kBadLevel:
      return "the dB value must be a finite number";
  }
  return "";
}
