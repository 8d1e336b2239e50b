#pragma once

#include <filesystem>
#include <string_view>

#include "files/file_error.h"

// Appends text to the regular file at path (created when absent) as one
// whole piece: when it cannot be written completely, nothing of it stays in
// the file. Only a regular file takes it: a FIFO would block the program and
// a device has no end to take a report back from (error 0 then).
FileResult AppendResults(const std::filesystem::path& path, std::string_view text);
