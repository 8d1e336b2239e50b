#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A measurement microphone's calibration: how many dB the microphone reads
// above the truth at each frequency, from the text file it ships with.

struct CalibrationPoint {
  double hz = 0.0;
  double gainDb = 0.0;
};

class MicCalibration {
 public:
  // points: at least two, frequencies positive and rising strictly (as
  // ParseMicCalibration guarantees).
  explicit MicCalibration(std::vector<CalibrationPoint> points);

  // The gain at hz, interpolated linearly over log frequency between the
  // points and held at the end values beyond them.
  [[nodiscard]] double GainDbAt(double hz) const;

  [[nodiscard]] std::span<const CalibrationPoint> points() const { return points_; }

 private:
  std::vector<CalibrationPoint> points_;
};

// Either a calibration or the one line that says what is wrong with the file
// and where ("mic.txt line 7: frequencies must rise (900 after 1000)").
struct MicCalibrationResult {
  std::optional<MicCalibration> calibration;
  std::string error;
};

// Reads the text of a calibration file; name is how messages call the file.
// Lines hold "frequency dB [phase]" separated by spaces, tabs or commas; a
// line that does not start with a number (a quoted header such as "Sens
// Factor =-1.23dB", or "*1000Hz -36.0") is skipped. Numbers are read in the
// C locale. At least two points, frequencies rising strictly.
MicCalibrationResult ParseMicCalibration(std::string_view text, std::string_view name);

// ParseMicCalibration on the contents of file; a file that cannot be read
// gives an error with the system's reason.
MicCalibrationResult LoadMicCalibration(const std::filesystem::path& file);
