#include "text/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Closes the descriptor it was given when it goes.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() { (void)close(fd_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  OpenFile(OpenFile&&) = delete;
  OpenFile& operator=(OpenFile&&) = delete;

 private:
  int fd_;
};

TextFileRead Failed(int error) {
  return {std::nullopt, error, false, false};
}

}  // namespace

TextFileRead ReadSmallTextFile(const std::filesystem::path& path, std::size_t maxBytes) {
  struct stat info {};
  // Checked before opening too: opening a FIFO waits, and opening some
  // devices acts on them.
  if (stat(path.c_str(), &info) != 0) {
    return Failed(errno);
  }
  if (S_ISDIR(info.st_mode)) {
    return Failed(EISDIR);
  }
  if (!S_ISREG(info.st_mode)) {
    return {std::nullopt, 0, true, false};
  }
  const int opened = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (opened < 0) {
    return Failed(errno);
  }
  const OpenFile file(opened);
  // And again on what was opened, which may have been swapped in since.
  if (fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
    return {std::nullopt, 0, true, false};
  }
  std::string text(maxBytes + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = read(opened, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return Failed(errno);
    }
    if (n == 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  if (got > maxBytes) {
    return {std::nullopt, 0, false, true};
  }
  text.resize(got);
  return {std::move(text), 0, false, false};
}
