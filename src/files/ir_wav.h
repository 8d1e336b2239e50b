#pragma once

#include <filesystem>
#include <span>

#include "files/file_error.h"
#include "files/unique_fd.h"

// A mono response and its sample rate.
struct ImpulseSamples {
  std::span<const float> samples;
  int rate = 0;
};

// Writes the response as a mono 32-bit float WAV at its rate into the open, empty
// file fd (consumed) that was made at path (named in a failure's message).
// Shorter responses are padded with zeros to one second, which room tools
// expect as the least length of an impulse response.
FileResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      const ImpulseSamples& impulse);
