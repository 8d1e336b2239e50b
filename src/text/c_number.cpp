#include "text/c_number.h"

#include <locale.h>  // NOLINT(modernize-deprecated-headers): newlocale is POSIX, not in <clocale>
#include <stdlib.h>  // NOLINT(modernize-deprecated-headers): strtod_l is POSIX, not in <cstdlib>

#include <charconv>
#include <cmath>
#include <string>

namespace {

locale_t CLocale() {
  // Made once and kept for the life of the program.
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return locale;
}

}  // namespace

std::optional<ScannedNumber> ScanCNumber(std::string_view text) {
  // strtod needs a terminated string; the copy also stops it at text's end.
  const std::string copy(text);
  char* end = nullptr;
  const double value = strtod_l(copy.c_str(), &end, CLocale());
  if (end == copy.c_str()) {
    return std::nullopt;
  }
  return ScannedNumber{value, static_cast<std::size_t>(end - copy.c_str())};
}

std::optional<double> ParseFiniteNumber(std::string_view text) {
  const std::optional<ScannedNumber> number = ScanCNumber(text);
  if (!number || number->length != text.size() || !std::isfinite(number->value)) {
    return std::nullopt;
  }
  return number->value;
}

std::string FixedCNumber(double value, int decimals) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
  if (written.starts_with('-') && written.find_first_not_of("-0.") == std::string_view::npos) {
    written.remove_prefix(1);
  }
  return std::string(written);
}
