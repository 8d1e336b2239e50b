#pragma once

#include <string_view>

// Appends text to the file at path (created when absent) as one whole
// piece: when it cannot be written completely, nothing of it stays in the
// file. Says why on standard error and returns false on failure.
bool AppendResults(const char* path, std::string_view text);
