#include "files/results_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/run_files.h"
#include "files/unique_fd.h"

FileResult AppendResults(const std::filesystem::path& path, std::string_view text) {
  constexpr const char* kWriting = "write the results to";
  // O_NONBLOCK keeps the open itself from waiting on a FIFO. O_APPEND puts
  // every write at the current end of the file, so an existing file is never
  // overwritten, whatever else has appended to it meanwhile.
  UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!file.valid()) {
    return errno == ENXIO ? FileFailure(kWriting, path, 0) : FileFailure("open", path, errno);
  }
  struct stat before {};
  if (fstat(file.get(), &before) != 0) {
    return FileFailure(kWriting, path, errno);
  }
  if (!S_ISREG(before.st_mode)) {
    return FileFailure(kWriting, path, 0);
  }
  (void)fcntl(file.get(), F_SETFL, O_APPEND);

  std::size_t written = 0;
  int error = WriteFully(file.get(), text, written);
  if (error != 0 && written > 0) {
    // Take back the part that got in: half a report would read as a
    // complete measurement with the top bands missing.
    (void)ftruncate(file.get(), before.st_size);
  }
  if (file.Close() != 0 && error == 0) {
    error = errno;
  }
  if (error != 0) {
    return FileFailure(kWriting, path, error);
  }
  return Done{};
}
