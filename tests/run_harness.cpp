#include "run_harness.h"

#include <cstdio>
#include <fstream>
#include <sstream>

std::string Room::Entry(const std::string& name) const {
  std::ostringstream entry;
  entry << std::showpoint << "pcm." << name << " { type simroom clock \"" << clock
        << "\" loop_delay " << loopDelay << " acoustic_delay " << acousticDelay << " gain_db "
        << gainDb << " noise_db " << noiseDb << " seed " << seed << " cable "
        << (cable ? "true" : "false") << " filters { " << filters << " } " << extra << " }\n";
  return entry.str();
}

ProcessResult RunTonvale(const std::string& deviceEntries, const std::string& input,
                         const std::filesystem::path& workDir, int timeoutSeconds,
                         const std::vector<std::string>& launcher) {
  const SimroomHome home(deviceEntries);
  std::vector<std::string> argv = launcher;
  argv.emplace_back(TONVALE_EXE);
  return RunProcess(argv, {.input = input,
                           .environment = home.environment(),
                           .workDir = workDir,
                           .timeout = std::chrono::seconds(timeoutSeconds)});
}

std::filesystem::path FindProgram(const std::string& program) {
  const ProcessResult r = RunProcess({"sh", "-c", "command -v \"$0\"", program}, {});
  return r.exitStatus == 0 ? std::filesystem::path(r.out.substr(0, r.out.find('\n'))) : "";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

namespace {

bool ParseBandLine(const std::string& line, BandLine& band) {
  char tail = 0;
  return std::sscanf(line.c_str(), "%d\t%lf\t%lf\t%lf%c", &band.number, &band.low, &band.high,
                     &band.level, &tail) == 4;
}

}  // namespace

std::vector<PrintedReport> FindReports(const std::string& out) {
  std::vector<PrintedReport> reports;
  const std::string heading = "Results:\nBand\tRange (Hz)\tdB\n";
  std::size_t at = out.find(heading);
  while (at != std::string::npos) {
    PrintedReport report;
    std::size_t end = at + heading.size();
    while (end < out.size()) {
      const std::size_t lineEnd = out.find('\n', end);
      if (lineEnd == std::string::npos) break;
      BandLine band;
      if (!ParseBandLine(out.substr(end, lineEnd - end), band)) break;
      report.bands.push_back(band);
      end = lineEnd + 1;
    }
    report.text = out.substr(at, end - at);
    reports.push_back(report);
    at = out.find(heading, end);
  }
  return reports;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
