#pragma once

#include <string>

// printf into the end of text, however long the result.
[[gnu::format(printf, 2, 3)]] void AppendFormat(std::string& text, const char* format, ...);
