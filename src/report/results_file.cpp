#include "report/results_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Closes the descriptor when it goes away, unless Close() already did.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      (void)close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&&) = delete;
  FileDescriptor& operator=(FileDescriptor&&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  // Returns 0, or the error number of a failed close.
  int Close() {
    const int result = close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

}  // namespace

std::optional<ResultsFileError> AppendResults(const char* path, std::string_view text) {
  // Only a regular file takes the results: a FIFO would block the program
  // until something read it, and a device has no end to take a report back
  // from. O_NONBLOCK keeps the open itself from waiting on a FIFO.
  // O_APPEND puts every write at the current end of the file, so an existing
  // file is never overwritten, whatever else has appended to it meanwhile.
  FileDescriptor file(open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
  if (file.get() < 0) {
    return errno == ENXIO ? ResultsFileError{"write the results to", 0}
                          : ResultsFileError{"open", errno};
  }
  struct stat before {};
  if (fstat(file.get(), &before) != 0) {
    return ResultsFileError{"write the results to", errno};
  }
  if (!S_ISREG(before.st_mode)) {
    return ResultsFileError{"write the results to", 0};
  }
  (void)fcntl(file.get(), F_SETFL, O_APPEND);

  std::size_t done = 0;
  int error = 0;
  while (done < text.size()) {
    const ssize_t written = write(file.get(), text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  if (error != 0 && done > 0) {
    // Take back the part that got in: half a report would read as a
    // complete measurement with the top bands missing.
    (void)ftruncate(file.get(), before.st_size);
  }
  const int closeError = file.Close();
  if (error == 0) {
    error = closeError;
  }
  if (error != 0) {
    return ResultsFileError{"write the results to", error};
  }
  return std::nullopt;
}
