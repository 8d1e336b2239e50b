#include "report/results_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::optional<ResultsFileError> AppendResults(const char* path, std::string_view text) {
  // O_APPEND puts every write at the current end of the file, so an existing
  // file is never overwritten, whatever else has appended to it meanwhile.
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    return ResultsFileError{"open", errno};
  }
  struct stat before {};
  const bool sizeKnown = fstat(fd, &before) == 0;

  std::size_t done = 0;
  int error = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  if (error != 0 && done > 0 && sizeKnown && S_ISREG(before.st_mode)) {
    // Take back the part that got in: half a report would read as a
    // complete measurement with the top bands missing.
    (void)ftruncate(fd, before.st_size);
  }
  if (close(fd) != 0 && error == 0) {
    error = errno;
  }
  if (error != 0) {
    return ResultsFileError{"write the results to", error};
  }
  return std::nullopt;
}
