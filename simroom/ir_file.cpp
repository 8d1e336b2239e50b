#include "ir_file.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <new>

namespace simroom {

namespace {
struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
}  // namespace

int LoadImpulseResponse(const std::string& path, unsigned rate, std::vector<double>& out) {
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    SNDERR("simroom: ir: cannot read \"%s\": %s", path.c_str(), sf_strerror(nullptr));
    return -EINVAL;
  }
  if (info.samplerate != static_cast<int>(rate)) {
    SNDERR(
        "simroom: ir: \"%s\" is at %d Hz but the device runs at %u Hz; resample it or set "
        "rate %d",
        path.c_str(), info.samplerate, rate, info.samplerate);
    return -EINVAL;
  }
  const double maxFrames = kMaxIrSeconds * rate;
  if (info.frames < 1 || static_cast<double>(info.frames) > maxFrames || info.channels < 1) {
    SNDERR(
        "simroom: ir: \"%s\" holds %lld frames; an impulse response must hold from 1 to "
        "%.0f (%g s)",
        path.c_str(), static_cast<long long>(info.frames), maxFrames, kMaxIrSeconds);
    return -EINVAL;
  }
  try {
    const auto frames = static_cast<std::size_t>(info.frames);
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> interleaved(frames * channels);
    const sf_count_t got = sf_readf_double(file.get(), interleaved.data(), info.frames);
    if (got != info.frames) {
      SNDERR("simroom: ir: \"%s\": read %lld of %lld frames: %s", path.c_str(),
             static_cast<long long>(got), static_cast<long long>(info.frames),
             sf_strerror(file.get()));
      return -EINVAL;
    }
    out.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      out[i] = interleaved[i * channels];
      if (!std::isfinite(out[i])) {
        SNDERR("simroom: ir: \"%s\": frame %zu is not a finite number", path.c_str(), i);
        return -EINVAL;
      }
    }
  } catch (const std::bad_alloc&) {
    SNDERR("simroom: ir: no memory for \"%s\"", path.c_str());
    return -ENOMEM;
  }
  return 0;
}

}  // namespace simroom
