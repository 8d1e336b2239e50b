#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The outcome of making a folder or writing a file: ok, or a message for the
// user that names the file, gives the system's reason and says what to do.
struct SaveResult {
  bool ok = true;
  std::string message;
};

// A failure of the system call behind what (e.g. "write") on path, with the
// text of errno value error.
SaveResult SystemFailure(std::string_view what, const std::filesystem::path& path, int error);
