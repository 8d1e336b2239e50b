#include "files/ir_wav.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/run_files.h"

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// The file libsndfile writes through. It keeps the errno of the first call
// that failed, which libsndfile would only pass on as "System error : ..."
// text, so that a full disk is worded, and answered, as a full disk.
struct WavTarget {
  int fd = -1;
  int error = 0;

  sf_count_t Failed() {
    error = error != 0 ? error : errno;
    return -1;
  }
};

WavTarget& TargetOf(void* user) {
  return *static_cast<WavTarget*>(user);
}

sf_count_t FileLength(void* user) {
  struct stat info {};
  return fstat(TargetOf(user).fd, &info) == 0 ? info.st_size : TargetOf(user).Failed();
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  const off_t at = lseek(TargetOf(user).fd, offset, whence);
  return at >= 0 ? at : TargetOf(user).Failed();
}

sf_count_t Read(void* data, sf_count_t count, void* user) {
  const ssize_t got = read(TargetOf(user).fd, data, static_cast<std::size_t>(count));
  return got >= 0 ? got : TargetOf(user).Failed();
}

sf_count_t Write(const void* data, sf_count_t count, void* user) {
  WavTarget& target = TargetOf(user);
  std::size_t written = 0;
  const int error = WriteFully(
      target.fd, std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(count)),
      written);
  if (error != 0 && target.error == 0) {
    target.error = error;
  }
  return static_cast<sf_count_t>(written);
}

sf_count_t Tell(void* user) {
  return Seek(0, SEEK_CUR, user);
}

Unexpected<FileError> Failure(const std::filesystem::path& path, const WavTarget& target,
                              SNDFILE* file) {
  if (target.error != 0) {
    return FileFailure("write", path, target.error);
  }
  return Unexpected<FileError>{{"write", path, 0, sf_strerror(file)}};
}

}  // namespace

FileResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      const ImpulseSamples& impulse) {
  SF_INFO info{};
  info.samplerate = impulse.rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  WavTarget target{fd.get()};
  SF_VIRTUAL_IO io{FileLength, Seek, Read, Write, Tell};
  SndfileHandle file(sf_open_virtual(&io, SFM_WRITE, &info, &target));
  if (!file) {
    return Failure(path, target, nullptr);
  }

  // Written from where it lies, not copied: a long sweep's response is large.
  const std::size_t length = impulse.lead.size() + impulse.samples.size();
  const std::vector<float> padding(static_cast<std::size_t>(impulse.rate) -
                                       std::min(length, static_cast<std::size_t>(impulse.rate)),
                                   0.0F);
  for (const std::span<const float> part :
       {impulse.lead, impulse.samples, std::span<const float>(padding)}) {
    const auto count = static_cast<sf_count_t>(part.size());
    if (count > 0 && sf_writef_float(file.get(), part.data(), count) != count) {
      return Failure(path, target, file.get());
    }
  }
  // sf_close writes the header's sizes; a failure there must not pass.
  if (sf_close(file.release()) != 0 || target.error != 0) {
    return Failure(path, target, nullptr);
  }
  // Closing it ourselves reports a late write error that would be lost.
  if (fd.Close() != 0) {
    return FileFailure("write", path, errno);
  }
  return Done{};
}
