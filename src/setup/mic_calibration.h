#pragma once

#include <cstddef>
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

// No microphone's response strays further than this from its own median:
// a value beyond it is a broken file, and would be taken out of every band.
inline constexpr double kMaxMicDeviationDb = 40.0;

// A calibration file larger than this is no calibration file: real ones hold
// a few hundred lines.
inline constexpr std::size_t kMaxMicCalibrationBytes = std::size_t{1024} * 1024;

// Reads the text of a calibration file; name is how messages call the file.
// Lines hold "frequency dB [phase]" separated by spaces, tabs or commas; a
// line that does not start with a number (a quoted header such as "Sens
// Factor =-1.23dB", or "*1000Hz -36.0") is skipped. Numbers are read in the
// C locale; a decimal comma ("20 1,5" beside spaces) is refused with a hint,
// as it would be read as two numbers. A UTF-8 byte-order mark is skipped. At
// least two points, frequencies rising strictly, every value within
// kMaxMicDeviationDb of the median.
MicCalibrationResult ParseMicCalibration(std::string_view text, std::string_view name);

// ParseMicCalibration on the contents of file, which must be a regular file
// of at most kMaxMicCalibrationBytes (a FIFO or a device is refused without
// being read); a file that cannot be read gives the system's reason.
MicCalibrationResult LoadMicCalibration(const std::filesystem::path& file);
