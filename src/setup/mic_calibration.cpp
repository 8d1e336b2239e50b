#include "setup/mic_calibration.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "text/response_line.h"

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

MicCalibrationResult Failure(std::string error) {
  return {std::nullopt, std::move(error)};
}

}  // namespace

MicCalibration::MicCalibration(std::vector<CalibrationPoint> points) : points_(std::move(points)) {}

double MicCalibration::GainDbAt(double hz) const {
  // Written so that NaN and non-positive frequencies take the first value.
  if (!(hz > points_.front().hz)) {
    return points_.front().gainDb;
  }
  if (hz >= points_.back().hz) {
    return points_.back().gainDb;
  }
  const auto above = std::upper_bound(
      points_.begin(), points_.end(), hz,
      [](double value, const CalibrationPoint& point) { return value < point.hz; });
  const CalibrationPoint& low = *(above - 1);
  const CalibrationPoint& high = *above;
  const double fraction = std::log(hz / low.hz) / std::log(high.hz / low.hz);
  return low.gainDb + fraction * (high.gainDb - low.gainDb);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the text, then its name
MicCalibrationResult ParseMicCalibration(std::string_view text, std::string_view name) {
  const std::string file(name);
  if (text.find('\0') != std::string_view::npos) {
    return Failure(file + ": not a text file (it holds NUL bytes); give the microphone's " +
                   "calibration text file");
  }
  std::vector<CalibrationPoint> points;
  std::size_t lineNumber = 0;
  std::size_t firstPointLine = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    line.remove_prefix(std::min(line.find_first_not_of(" \t,\r"), line.size()));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber;
    // Headers, comments and blank lines: strtod would also take "inf" or
    // "nan" as a number, so only a digit, a sign or a point starts data.
    if (line.empty() || std::strchr("0123456789+-.", line.front()) == nullptr) {
      continue;
    }
    // Whatever follows the gain (a phase, a comment) is not needed.
    const auto read = ReadResponseLine(line, /*allowTrailing=*/true);
    if (!read && read.error() == ResponseLineError::kNoNumber) {
      continue;
    }
    const std::string where = file + " line " + std::to_string(lineNumber) + ": ";
    if (!read) {
      return Failure(where + DescribeResponseLineError(read.error()));
    }
    if (!points.empty() && read->hz <= points.back().hz) {
      return Failure(where + "frequencies must rise (" + Number(read->hz) + " after " +
                     Number(points.back().hz) + ")");
    }
    if (points.empty()) {
      firstPointLine = lineNumber;
    }
    points.push_back({read->hz, read->db});
  }
  if (points.empty()) {
    return Failure(file + ": no calibration points (need at least two lines of 'frequency dB')");
  }
  if (points.size() == 1) {
    return Failure(file + ": only one calibration point (line " + std::to_string(firstPointLine) +
                   "); need at least two lines of 'frequency dB'");
  }
  return {MicCalibration(std::move(points)), {}};
}

MicCalibrationResult LoadMicCalibration(const std::filesystem::path& file) {
  const std::string name = file.string();
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(name.c_str(), "rb"),
                                                               &std::fclose);
  if (!stream) {
    return Failure(name + ": cannot be read: " + std::strerror(errno));
  }
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) {
    text.append(buffer, got);
  }
  if (std::ferror(stream.get()) != 0) {
    return Failure(name + ": cannot be read: " + std::strerror(errno));
  }
  return ParseMicCalibration(text, name);
}
