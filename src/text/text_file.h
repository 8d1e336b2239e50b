#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

// A small text file that the user names (a calibration file), read whole.
struct TextFileRead {
  std::optional<std::string> text;
  int error = 0;            // errno when it could not be read
  bool notRegular = false;  // a FIFO, a device, a socket
  bool tooLarge = false;    // more than the bytes allowed
};

// Reads the regular file at path when it holds at most maxBytes. Anything
// else is refused before it is read: a FIFO would wait for a writer for
// ever, and /dev/zero never ends.
TextFileRead ReadSmallTextFile(const std::filesystem::path& path, std::size_t maxBytes);
