#include "measurement/spl_calibration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/unique_fd.h"
#include "text/c_number.h"

namespace {

constexpr std::string_view kPrefix = "0 dBFS = ";
constexpr std::string_view kSuffix = " dB SPL";
constexpr const char* kExpected = "expected '0 dBFS = <level> dB SPL'";

SplCalibrationResult Failure(std::string error) {
  return {std::nullopt, std::move(error)};
}

std::string_view TrimEnd(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

bool IsComment(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string_view::npos || line[first] == '#';
}

std::optional<double> ReadFigure(std::string_view line) {
  if (!line.starts_with(kPrefix)) {
    return std::nullopt;
  }
  line.remove_prefix(kPrefix.size());
  const std::optional<ScannedNumber> number = ScanCNumber(line);
  if (!number || TrimEnd(line.substr(number->length)) != kSuffix) {
    return std::nullopt;
  }
  return number->value;
}

// A device name kept on its one comment line.
std::string Printable(std::string_view text) {
  std::string printable(text);
  for (char& c : printable) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      c = '?';
    }
  }
  return printable;
}

std::string CannotRead(const std::string& name) {
  return name + ": cannot be read: " + std::strerror(errno);
}

std::string NotRegular(const std::string& name) {
  return name + ": not a regular file; give the SPL calibration text file";
}

}  // namespace

bool IsPlausibleSplOffset(double offsetDb) {
  return offsetDb >= kMinSplOffsetDb && offsetDb <= kMaxSplOffsetDb;
}

std::string WriteSplCalibration(const SplCalibrationRecord& record) {
  char figures[160];
  std::snprintf(figures, sizeof figures,
                "0 dBFS = %.2f dB SPL\n"
                "# The sound level that reads 0 dBFS (a full-scale sine) on input 1.\n"
                "# Date: %04d-%02u-%02u\n",
                record.offsetDb, static_cast<int>(record.date.year()),
                static_cast<unsigned>(record.date.month()),
                static_cast<unsigned>(record.date.day()));
  char calibrator[64];
  std::snprintf(calibrator, sizeof calibrator, "# Calibrator: %.1f dB SPL at 1 kHz\n",
                record.calibratorDbSpl);
  return std::string(figures) + "# Device: " + Printable(record.device) + "\n" + calibrator;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the text, then its name
SplCalibrationResult ParseSplCalibration(std::string_view text, std::string_view name) {
  const std::string file(name);
  std::optional<double> figure;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber;
    if (IsComment(line)) {
      continue;
    }
    const std::string where = file + " line " + std::to_string(lineNumber) + ": ";
    if (figure) {
      return Failure(where + "only comments may follow the calibration line");
    }
    figure = ReadFigure(line);
    if (!figure) {
      return Failure(where + kExpected);
    }
    if (!IsPlausibleSplOffset(*figure)) {
      char why[160];
      std::snprintf(why, sizeof why,
                    "0 dBFS = %g dB SPL is no real chain's level (%g to %g); calibrate again",
                    *figure, kMinSplOffsetDb, kMaxSplOffsetDb);
      return Failure(where + why);
    }
  }
  if (!figure) {
    return Failure(file + ": no calibration line; " + kExpected);
  }
  return {figure, {}};
}

SplCalibrationResult LoadSplCalibration(const std::filesystem::path& file) {
  const std::string name = file.string();
  // Checked before opening: opening a FIFO waits for a writer, and opening
  // some devices acts on them.
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) {
    return Failure(CannotRead(name));
  }
  if (!S_ISREG(info.st_mode)) {
    return Failure(NotRegular(name));
  }
  const UniqueFd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    return Failure(CannotRead(name));
  }
  // And again on what was opened, which may have been swapped in since.
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return Failure(NotRegular(name));
  }
  std::string text(kMaxSplCalibrationBytes + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return Failure(CannotRead(name));
    }
    if (n == 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  if (got > kMaxSplCalibrationBytes) {
    return Failure(name + ": larger than 64 KiB, so not an SPL calibration file");
  }
  text.resize(got);
  return ParseSplCalibration(text, name);
}
