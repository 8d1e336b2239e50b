#pragma once

#include <filesystem>
#include <string>

#include "base/expected.h"

// Why a folder could not be made or a file not written: the facts, worded
// for the user by the report.
struct FileError {
  const char* step = "write";  // what was tried: "make", "write", "replace", "open" ...
  std::filesystem::path path;
  int error = 0;  // errno; 0 when the path names something other than a regular file
  // The reason a library gave instead of an error number (libsndfile's).
  std::string libraryReason{};
};

using FileResult = Expected<Done, FileError>;

inline Unexpected<FileError> FileFailure(const char* step, std::filesystem::path path, int error) {
  return Unexpected<FileError>{{step, std::move(path), error}};
}
