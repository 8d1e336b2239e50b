#pragma once

#include <filesystem>
#include <span>

#include "report/save_result.h"
#include "report/unique_fd.h"

// The impulse response's rate; the program records at no other.
inline constexpr int kIrRate = 48000;

// Writes impulse as a mono 32-bit float WAV at 48000 Hz into the open, empty
// file fd (consumed) that was made at path (named in a failure's message).
// Shorter responses are padded with zeros to one second, which room tools
// expect as the least length of an impulse response.
SaveResult WriteIrWav(UniqueFd fd, const std::filesystem::path& path,
                      std::span<const float> impulse);
