#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "report/save_result.h"
#include "report/unique_fd.h"

enum class FolderCreation {
  kLastLevel,   // make the folder itself; its parent must exist
  kAllParents,  // make every missing folder on the way, as mkdir -p
};

// Makes dir when it is missing; fine when it is a folder already.
SaveResult EnsureFolder(const std::filesystem::path& dir, FolderCreation how);

// The run numbers of the files named run-NNN.* or run-NNN-* in dir, rising.
std::vector<int> ExistingRunNumbers(const std::filesystem::path& dir);

// The files of one run, made new and empty, and open for writing.
struct ClaimedRun {
  SaveResult result;
  int number = 0;
  std::string stem;                          // "run-007"
  std::vector<std::filesystem::path> paths;  // dir / (stem + suffix), one per suffix
  std::vector<UniqueFd> files;
};

// Takes the next run number after the highest in dir and makes one file for
// each suffix (".frd", "-ir.wav", ...). Files are made with O_EXCL, so that
// nothing is ever overwritten: when one of the names is taken meanwhile, the
// files just made are removed again and the next number is tried.
ClaimedRun ClaimRun(const std::filesystem::path& dir, const std::vector<std::string>& suffixes);

// Writes all of text into fd (consumed) and closes it; path names the file
// in a failure's message.
SaveResult WriteAll(UniqueFd fd, const std::filesystem::path& path, std::string_view text);

// Puts text at path in one step through a new file beside it, replacing the
// file that was there: a reader sees the old file or the new, never half.
SaveResult ReplaceFile(const std::filesystem::path& path, std::string_view text);
