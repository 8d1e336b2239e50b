#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The absolute level of input 1: the sound level in dB SPL that reads 0 dBFS
// (a full-scale sine), kept in a small text file:
//
//   0 dBFS = 120.30 dB SPL
//   # Date: 2025-03-01
//   # Device: plughw:USB
//   # Calibrator: 94.0 dB SPL at 1 kHz
//
// Lines starting with '#' and blank lines are comments; the first other line
// holds the figure, and no other line may follow it.

inline constexpr const char* kSplCalibrationFileName = "spl-calibration.txt";

// The figures a real chain gives. Below 60 dB SPL at 0 dBFS, speech near the
// microphone would clip the interface: no measuring chain is set that hot.
// Above 200, a full-scale sine would swing the pressure further than the
// atmosphere's own (a sine with peaks of 1 atm is 191 dB SPL): no chain is
// built to record that. Calibrators of 40 to 150 dB SPL fit within.
inline constexpr double kMinSplOffsetDb = 60.0;
inline constexpr double kMaxSplOffsetDb = 200.0;

// Whether offsetDb (dB SPL at 0 dBFS) lies within those bounds; NaN does not.
bool IsPlausibleSplOffset(double offsetDb);

// A file larger than this is not a calibration file.
inline constexpr std::size_t kMaxSplCalibrationBytes = 64 * 1024;

struct SplCalibrationRecord {
  double offsetDb = 0.0;  // dB SPL at 0 dBFS
  double calibratorDbSpl = 94.0;
  std::chrono::year_month_day date;
  std::string device;  // control characters are written as '?'
};

// The file's text: the figure with two decimals, then the comments.
std::string WriteSplCalibration(const SplCalibrationRecord& record);

// Either the figure or one line saying what is wrong and where
// ("spl.txt line 3: expected '0 dBFS = <level> dB SPL'").
struct SplCalibrationResult {
  std::optional<double> offsetDb;
  std::string error;
};

// Reads the text of a calibration file; name is how messages call the file.
// The number is read in the C locale; spaces and a carriage return may end a line.
SplCalibrationResult ParseSplCalibration(std::string_view text, std::string_view name);

// ParseSplCalibration on the contents of file, which must be a regular file
// of at most kMaxSplCalibrationBytes: a FIFO or a device is refused without
// being read (nor waited on).
SplCalibrationResult LoadSplCalibration(const std::filesystem::path& file);
