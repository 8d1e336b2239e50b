#include "text/text_format.h"

#include <cstdarg>
#include <cstdio>

void AppendFormat(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const std::size_t start = text.size();
    text.resize(start + static_cast<std::size_t>(length) + 1);
    (void)std::vsnprintf(text.data() + start, static_cast<std::size_t>(length) + 1, format, again);
    text.resize(start + static_cast<std::size_t>(length));
  }
  va_end(again);
}
