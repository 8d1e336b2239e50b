#include "report/run_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace {

// Tries further numbers this often when others take them as fast as we look.
constexpr int kClaimAttempts = 1000;

// The number in a name "run-NNN.xxx" or "run-NNN-xxx", or -1.
int RunNumberOf(const std::string& name) {
  if (name.rfind("run-", 0) != 0) {
    return -1;
  }
  std::size_t end = 4;
  while (end < name.size() && end < 13 && name[end] >= '0' && name[end] <= '9') {
    ++end;
  }
  if (end == 4 || end >= name.size() || (name[end] != '.' && name[end] != '-')) {
    return -1;
  }
  return std::atoi(name.c_str() + 4);
}

std::string StemOf(int number) {
  char stem[24];
  std::snprintf(stem, sizeof stem, "run-%03d", number);
  return stem;
}

void RemoveAll(const std::vector<std::filesystem::path>& paths) {
  for (const std::filesystem::path& path : paths) {
    (void)unlink(path.c_str());
  }
}

}  // namespace

SaveResult EnsureFolder(const std::filesystem::path& dir, FolderCreation how) {
  if (how == FolderCreation::kAllParents) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
      return SystemFailure("make the folder", dir, error.value());
    }
  } else if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return SystemFailure("make the folder", dir, errno);
  }
  struct stat info {};
  if (stat(dir.c_str(), &info) != 0) {
    return SystemFailure("make the folder", dir, errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return SystemFailure("save into", dir, ENOTDIR);
  }
  return {};
}

std::vector<int> ExistingRunNumbers(const std::filesystem::path& dir) {
  std::vector<int> numbers;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const int number = RunNumberOf(entry.path().filename().string());
    if (number >= 0) {
      numbers.push_back(number);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

ClaimedRun ClaimRun(const std::filesystem::path& dir, const std::vector<std::string>& suffixes) {
  const std::vector<int> taken = ExistingRunNumbers(dir);
  int number = taken.empty() ? 1 : taken.back() + 1;
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt, ++number) {
    ClaimedRun run;
    run.number = number;
    run.stem = StemOf(number);
    bool nameTaken = false;
    for (const std::string& suffix : suffixes) {
      const std::filesystem::path path = dir / (run.stem + suffix);
      UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (!file.valid()) {
        const int error = errno;
        run.files.clear();
        RemoveAll(run.paths);
        if (error != EEXIST) {
          return {SystemFailure("make", path, error), 0, {}, {}, {}};
        }
        nameTaken = true;
        break;
      }
      run.paths.push_back(path);
      run.files.push_back(std::move(file));
    }
    if (!nameTaken) {
      return run;
    }
  }
  return {SystemFailure("find a free run number in", dir, EEXIST), 0, {}, {}, {}};
}

SaveResult WriteAll(UniqueFd fd, const std::filesystem::path& path, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd.get(), text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return SystemFailure("write", path, errno);
    }
    done += static_cast<std::size_t>(written);
  }
  if (fd.Close() != 0) {
    return SystemFailure("write", path, errno);
  }
  return {};
}

SaveResult ReplaceFile(const std::filesystem::path& path, std::string_view text) {
  std::filesystem::path temporary = path;
  temporary += ".new-XXXXXX";
  std::string pattern = temporary.string();
  UniqueFd file(mkstemp(pattern.data()));
  if (!file.valid()) {
    return SystemFailure("make", pattern, errno);
  }
  // mkstemp makes the file private; the saved results are for anyone to read.
  (void)fchmod(file.get(), 0644);
  SaveResult result = WriteAll(std::move(file), pattern, text);
  if (result.ok && rename(pattern.c_str(), path.c_str()) != 0) {
    result = SystemFailure("replace", path, errno);
  }
  if (!result.ok) {
    (void)unlink(pattern.c_str());
  }
  return result;
}
