#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_error.h"
#include "files/unique_fd.h"

// Makes dir and every missing folder on the way (as mkdir -p) and checks
// that files can be made in it: a regular file, a read-only mount or a
// folder without write permission fails here.
FileResult EnsureWritableFolder(const std::filesystem::path& dir);

// The run numbers of the files named run-NNN.* or run-NNN-* in dir, rising.
std::vector<int> ExistingRunNumbers(const std::filesystem::path& dir);

// "run-007"
std::string RunStem(int number);

// Fills a file that was just made; temporary names it in a failure.
using FileFiller = std::function<FileResult(UniqueFd fd, const std::filesystem::path& temporary)>;

// Every saved file is written under a temporary name beside its own and put
// in place only when complete, so a reader, a full disk, a size limit or an
// interrupted program leaves the file whole or absent, never half. On
// failure the temporary is removed.
enum class Placing {
  kNew,      // never over an existing file: EEXIST when the name is taken
  kReplace,  // over the file that was there, in one step
};
FileResult PlaceFile(const std::filesystem::path& path, Placing how, const FileFiller& fill);

// PlaceFile for a text.
FileResult PlaceText(const std::filesystem::path& path, Placing how, std::string_view text);

// Writes text to fd, going on after interrupted and short writes; returns 0
// or the errno of the write that failed, with written telling how far it got.
int WriteFully(int fd, std::string_view text, std::size_t& written);

// Writes all of text into fd and closes it; path names the file in a
// failure.
FileResult WriteAll(UniqueFd fd, const std::filesystem::path& path, std::string_view text);
