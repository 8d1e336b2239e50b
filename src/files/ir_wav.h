#pragma once

#include <filesystem>
#include <span>

#include "files/file_error.h"
#include "files/unique_fd.h"

// A mono response and its sample rate: the samples before time 0, and
// from time 0 on.
struct ImpulseSamples {
  std::span<const float> lead;
  std::span<const float> samples;
  int rate = 0;
};

// Writes the response, lead first, as a mono 32-bit float WAV at its rate into
// the open, empty file fd (consumed) that was made at path (named in a
// failure's message): time 0 lies at sample lead.size(). Shorter responses
// are padded with zeros to one second, which room tools expect as the least
// length of an impulse response.
FileResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      const ImpulseSamples& impulse);
