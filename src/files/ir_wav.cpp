#include "files/ir_wav.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

Unexpected<FileError> LibraryFailure(const std::filesystem::path& path, SNDFILE* file) {
  return Unexpected<FileError>{{"write", path, 0, sf_strerror(file)}};
}

}  // namespace

FileResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      const ImpulseSamples& impulse) {
  SF_INFO info{};
  info.samplerate = impulse.rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  // The descriptor stays ours: closing it ourselves after sf_close reports a
  // late write error that libsndfile would swallow.
  SndfileHandle file(sf_open_fd(fd.get(), SFM_WRITE, &info, SF_FALSE));
  if (!file) {
    return LibraryFailure(path, nullptr);
  }

  // Written from where it lies, not copied: a long sweep's response is large.
  const std::vector<float> padding(
      static_cast<std::size_t>(impulse.rate) -
          std::min(impulse.samples.size(), static_cast<std::size_t>(impulse.rate)),
      0.0F);
  for (const std::span<const float> part : {impulse.samples, std::span<const float>(padding)}) {
    const auto count = static_cast<sf_count_t>(part.size());
    if (count > 0 && sf_writef_float(file.get(), part.data(), count) != count) {
      return LibraryFailure(path, file.get());
    }
  }
  if (sf_close(file.release()) != 0) {
    return LibraryFailure(path, nullptr);
  }
  if (fd.Close() != 0) {
    return FileFailure("write", path, errno);
  }
  return Done{};
}
