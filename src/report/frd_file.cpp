#include "report/frd_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "text/response_line.h"

std::vector<std::string> RunHeader(const RunFacts& facts) {
  std::vector<std::string> header{
      std::string(kProgramAndVersion),        "measured " + facts.dateTime,
      "device: " + facts.deviceName,          SettingsText(facts),
      "time of flight: " + FlightText(facts),
  };
  if (!facts.calibrationFile.empty()) {
    header.push_back("microphone calibration applied: " + facts.calibrationFile);
  }
  if (facts.splOffsetDb) {
    header.push_back(SplText(facts));
  }
  header.emplace_back("frequency(Hz) dB phase(degrees)");
  return header;
}

std::string FormatFrd(std::span<const std::string> header, const FineResponse& response) {
  std::string text;
  for (const std::string& line : header) {
    text += "* ";
    text += line;
    text += '\n';
  }
  char line[96];
  for (const ResponsePoint& point : response) {
    std::snprintf(line, sizeof line, "%.3f %.2f %.1f\n", point.hz, point.db, point.phaseDeg);
    text += line;
  }
  return text;
}

namespace {

FrdContents Failure(int lineNumber, const std::string& why) {
  return {false, "line " + std::to_string(lineNumber) + ": " + why, {}, {}};
}

}  // namespace

FrdContents ParseFrd(std::string_view text) {
  FrdContents contents;
  std::istringstream lines{std::string(text)};
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') {
      continue;
    }
    if (line[first] == '*') {
      const std::size_t start = line.find_first_not_of(' ', first + 1);
      contents.header.push_back(start == std::string::npos ? "" : line.substr(start));
      continue;
    }
    const auto read = ReadResponseLine(line, /*allowTrailing=*/false);
    if (!read && read.error() != ResponseLineError::kBadFrequency) {
      return Failure(lineNumber, R"(expected "frequency dB [phase]", found ")" + line + '"');
    }
    if (!read || (!contents.points.empty() && read->hz <= contents.points.back().hz)) {
      return Failure(lineNumber, "frequencies must be positive and rising");
    }
    contents.points.push_back({read->hz, read->db, read->phaseDeg});
  }
  return contents;
}

FrdContents ReadFrdFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int error = errno;
    return {false,
            "Could not read " + path.string() + ": " + std::strerror(error) +
                ". Check that the file exists and that you may read it.",
            {},
            {}};
  }
  std::ostringstream text;
  text << file.rdbuf();
  FrdContents contents = ParseFrd(text.str());
  if (!contents.ok) {
    contents.message = path.string() + ", " + contents.message +
                       ". Fix or remove that line, or choose another file.";
  }
  return contents;
}
