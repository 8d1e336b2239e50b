#include "report/ir_wav.h"

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

SaveResult LibraryFailure(const std::filesystem::path& path, SNDFILE* file) {
  return {false, "Could not write " + path.string() + ": " + sf_strerror(file) +
                     ". Free some space or choose a folder you may write to with --save, then "
                     "measure again."};
}

}  // namespace

SaveResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      std::span<const float> impulse) {
  SF_INFO info{};
  info.samplerate = kIrRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  // The descriptor stays ours: closing it ourselves after sf_close reports a
  // late write error that libsndfile would swallow.
  SndfileHandle file(sf_open_fd(fd.get(), SFM_WRITE, &info, SF_FALSE));
  if (!file) {
    return LibraryFailure(path, nullptr);
  }

  std::vector<float> samples(impulse.begin(), impulse.end());
  samples.resize(std::max<std::size_t>(samples.size(), kIrRate), 0.0F);
  const auto count = static_cast<sf_count_t>(samples.size());
  if (sf_writef_float(file.get(), samples.data(), count) != count) {
    return LibraryFailure(path, file.get());
  }
  if (sf_close(file.release()) != 0) {
    return LibraryFailure(path, nullptr);
  }
  if (fd.Close() != 0) {
    return SystemFailure("write", path, errno);
  }
  return {};
}
