#include "files/run_files.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <system_error>

namespace {

// The temporary being written, for the signal handler to remove: a fixed
// buffer, since a handler may only make async-signal-safe calls.
char gTemporary[4096];
volatile std::sig_atomic_t gTemporaryInUse = 0;

extern "C" void RemoveTemporaryAndDie(int signal) {
  if (gTemporaryInUse != 0) {
    (void)unlink(gTemporary);
  }
  (void)std::signal(signal, SIG_DFL);
  (void)std::raise(signal);
}

// Marks path as the temporary in flight for as long as it lives.
class TemporaryGuard {
 public:
  explicit TemporaryGuard(const std::string& path) {
    if (path.size() < sizeof gTemporary) {
      std::memcpy(gTemporary, path.c_str(), path.size() + 1);
      gTemporaryInUse = 1;
    }
  }
  ~TemporaryGuard() { gTemporaryInUse = 0; }
  TemporaryGuard(const TemporaryGuard&) = delete;
  TemporaryGuard& operator=(const TemporaryGuard&) = delete;
  TemporaryGuard(TemporaryGuard&&) = delete;
  TemporaryGuard& operator=(TemporaryGuard&&) = delete;
};

// While it lives, the signals that end the program remove the temporary in
// flight first; a signal the program was started to ignore (SIGHUP under
// nohup, SIGINT in a background job) stays ignored.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      struct sigaction handler {};
      handler.sa_handler = RemoveTemporaryAndDie;
      sigemptyset(&handler.sa_mask);
      (void)sigaction(kSignals[i], nullptr, &old_[i]);
      if (old_[i].sa_handler != SIG_IGN) {
        (void)sigaction(kSignals[i], &handler, nullptr);
        sigaddset(&set_, kSignals[i]);
      }
    }
  }
  ~StopSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      (void)sigaction(kSignals[i], &old_[i], nullptr);
    }
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  StopSignals(StopSignals&&) = delete;
  StopSignals& operator=(StopSignals&&) = delete;

  void Block() { (void)pthread_sigmask(SIG_BLOCK, &set_, &before_); }
  void Unblock() { (void)pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[std::size(kSignals)]{};
  sigset_t set_{};
  sigset_t before_{};
};

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

// Moves the complete temporary to path: a link, which fails when the name
// is taken, for a new file; a rename over it for a replacement.
FileResult PutInPlace(const std::string& temporary, const std::filesystem::path& path,
                      Placing how) {
  if (how == Placing::kReplace) {
    if (rename(temporary.c_str(), path.c_str()) != 0) {
      return FileFailure("replace", path, errno);
    }
    return Done{};
  }
  if (link(temporary.c_str(), path.c_str()) != 0) {
    return FileFailure("make", path, errno);
  }
  (void)unlink(temporary.c_str());
  return Done{};
}

}  // namespace

FileResult EnsureWritableFolder(const std::filesystem::path& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    return FileFailure("make the folder", dir, error.value());
  }
  struct stat info {};
  if (stat(dir.c_str(), &info) != 0) {
    return FileFailure("make the folder", dir, errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return FileFailure("save into", dir, ENOTDIR);
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return FileFailure("save into", dir, errno);
  }
  return Done{};
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

std::string RunStem(int number) {
  char stem[24];
  (void)std::snprintf(stem, sizeof stem, "run-%03d", number);
  return stem;
}

FileResult PlaceFile(const std::filesystem::path& path, Placing how, const FileFiller& fill) {
  // Hidden, and named after its file, so that a leftover says what it was.
  std::string temporary =
      (path.parent_path() / ("." + path.filename().string() + ".part-XXXXXX")).string();
  StopSignals stop;
  FileResult result = Done{};
  {
    // Held back until the temporary is known to the handler, so that no
    // moment is left in which it could be made and then left behind.
    stop.Block();
    UniqueFd file(mkstemp(temporary.data()));
    const int made = errno;
    const TemporaryGuard guard(temporary);
    stop.Unblock();
    if (!file.valid()) {
      result = FileFailure("make", path, made);
    } else {
      // mkstemp makes the file private; the saved results are for anyone to read.
      (void)fchmod(file.get(), 0644);
      result = fill(std::move(file), temporary);
      if (result) {
        result = PutInPlace(temporary, path, how);
      }
      if (!result) {
        (void)unlink(temporary.c_str());
      }
    }
  }
  return result;
}

FileResult PlaceText(const std::filesystem::path& path, Placing how, std::string_view text) {
  return PlaceFile(path, how, [&](UniqueFd fd, const std::filesystem::path&) {
    // Failures name the file the user asked for, not the temporary.
    return WriteAll(std::move(fd), path, text);
  });
}

int WriteFully(int fd, std::string_view text, std::size_t& written) {
  written = 0;
  while (written < text.size()) {
    const ssize_t done = write(fd, text.data() + written, text.size() - written);
    if (done < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    written += static_cast<std::size_t>(done);
  }
  return 0;
}

FileResult WriteAll(UniqueFd fd, const std::filesystem::path& path, std::string_view text) {
  std::size_t written = 0;
  if (const int error = WriteFully(fd.get(), text, written); error != 0) {
    return FileFailure("write", path, error);
  }
  if (fd.Close() != 0) {
    return FileFailure("write", path, errno);
  }
  return Done{};
}
