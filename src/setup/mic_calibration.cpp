#include "setup/mic_calibration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "text/response_line.h"
#include "text/text_file.h"

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

namespace {

// A comma between two digits on a line whose numbers are set apart by
// spaces or tabs: "20 1,5" means one and a half, which would be read as
// 1 dB with a phase of 5.
bool HasDecimalComma(std::string_view line) {
  const std::size_t blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos ||
      line.find_first_not_of(" \t\r", blank) == std::string_view::npos) {
    return false;
  }
  for (std::size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] == ',' && std::isdigit(static_cast<unsigned char>(line[i - 1])) != 0 &&
        std::isdigit(static_cast<unsigned char>(line[i + 1])) != 0) {
      return true;
    }
  }
  return false;
}

struct NumberedPoint {
  CalibrationPoint point;
  std::size_t line = 0;
};

// The first point further than kMaxMicDeviationDb from the median, or none.
std::string CheckDeviations(const std::vector<NumberedPoint>& points, const std::string& file) {
  std::vector<double> gains;
  gains.reserve(points.size());
  for (const NumberedPoint& p : points) {
    gains.push_back(p.point.gainDb);
  }
  std::nth_element(gains.begin(), gains.begin() + static_cast<std::ptrdiff_t>(gains.size() / 2),
                   gains.end());
  const double median = gains[gains.size() / 2];
  for (const NumberedPoint& p : points) {
    if (std::fabs(p.point.gainDb - median) > kMaxMicDeviationDb) {
      return file + " line " + std::to_string(p.line) + ": " + Number(p.point.gainDb) +
             " dB lies more than " + Number(kMaxMicDeviationDb) + " dB from the file's median (" +
             Number(median) +
             " dB), beyond any microphone's response; is this the microphone's calibration file?";
    }
  }
  return {};
}

// The points of the text, or the first line's fault.
std::string ReadPoints(std::string_view text, const std::string& file,
                       std::vector<NumberedPoint>& points) {
  std::size_t lineNumber = 0;
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
      return where + DescribeResponseLineError(read.error());
    }
    if (HasDecimalComma(line)) {
      return where + "a decimal comma; write the numbers with a decimal point (1.5, not 1,5)";
    }
    if (!points.empty() && read->hz <= points.back().point.hz) {
      return where + "frequencies must rise (" + Number(read->hz) + " after " +
             Number(points.back().point.hz) + ")";
    }
    points.push_back({{read->hz, read->db}, lineNumber});
  }
  return {};
}

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the text, then its name
MicCalibrationResult ParseMicCalibration(std::string_view text, std::string_view name) {
  const std::string file(name);
  if (text.find('\0') != std::string_view::npos) {
    return Failure(file + ": not a text file (it holds NUL bytes); give the microphone's " +
                   "calibration text file");
  }
  // Editors on some systems start a UTF-8 file with a byte-order mark.
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.remove_prefix(3);
  }
  std::vector<NumberedPoint> points;
  if (std::string error = ReadPoints(text, file, points); !error.empty()) {
    return Failure(std::move(error));
  }
  if (points.empty()) {
    return Failure(file + ": no calibration points (need at least two lines of 'frequency dB')");
  }
  if (points.size() == 1) {
    return Failure(file + ": only one calibration point (line " +
                   std::to_string(points.front().line) +
                   "); need at least two lines of 'frequency dB'");
  }
  if (std::string error = CheckDeviations(points, file); !error.empty()) {
    return Failure(std::move(error));
  }
  std::vector<CalibrationPoint> kept;
  kept.reserve(points.size());
  for (const NumberedPoint& p : points) {
    kept.push_back(p.point);
  }
  return {MicCalibration(std::move(kept)), {}};
}

MicCalibrationResult LoadMicCalibration(const std::filesystem::path& file) {
  const std::string name = file.string();
  TextFileRead read = ReadSmallTextFile(file, kMaxMicCalibrationBytes);
  if (read.notRegular) {
    return Failure(name + ": not a regular file; give the microphone's calibration text file");
  }
  if (read.tooLarge) {
    return Failure(name + ": larger than 1 MiB, so not a microphone calibration file");
  }
  if (!read.text) {
    return Failure(name + ": cannot be read: " + std::strerror(read.error));
  }
  return ParseMicCalibration(*read.text, name);
}
