#pragma once

#include <optional>
#include <string_view>

// Why the results could not be saved: the step that failed and the system's
// error number, 0 when the path names something other than a regular file.
struct ResultsFileError {
  const char* step = "";  // "open" or "write the results to"
  int error = 0;
};

// Appends text to the regular file at path (created when absent) as one
// whole piece: when it cannot be written completely, nothing of it stays in
// the file.
std::optional<ResultsFileError> AppendResults(const char* path, std::string_view text);
