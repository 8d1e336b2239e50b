#include "measurement/saved_files.h"

#include <cerrno>

#include "files/ir_wav.h"
#include "files/run_files.h"
#include "report/acoustics_texts.h"
#include "report/frd_file.h"
#include "report/run_json.h"

namespace {

// Tries further numbers this often when others take them as fast as we look.
constexpr int kClaimAttempts = 1000;

// Writes the files in order, each by its writer, and stops at the first
// that fails.
WrittenFiles WriteInOrder(
    const std::filesystem::path& dir, const std::vector<std::string>& names,
    std::span<const std::function<FileResult(const std::filesystem::path&)>> writers) {
  WrittenFiles written;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (auto placed = writers[i](dir / names[i]); !placed) {
      written.failure = placed.error();
      break;
    }
    written.names.push_back(names[i]);
  }
  return written;
}

WrittenFiles PlaceRunFiles(const std::filesystem::path& dir, const std::string& stem, int number,
                           const RunRecord& run) {
  // The response first: when its name is taken, no file of this number was made.
  const std::function<FileResult(const std::filesystem::path&)> writers[] = {
      [&](const std::filesystem::path& path) {
        return PlaceText(path, Placing::kNew, FormatFrd(RunHeader(run.facts), run.response));
      },
      [&](const std::filesystem::path& path) {
        return PlaceFile(path, Placing::kNew, [&](UniqueFd fd, const std::filesystem::path&) {
          return WriteIrWav(std::move(fd), path, {run.impulseLead, run.impulse, run.facts.rate});
        });
      },
      [&](const std::filesystem::path& path) {
        return PlaceText(path, Placing::kNew, RenderResponseSvg(RunPlot(number, run)));
      }};
  return WriteInOrder(dir, RunFileNames(stem), writers);
}

}  // namespace

std::vector<std::string> RunFileNames(const std::string& stem) {
  return {stem + ".frd", stem + "-ir.wav", stem + ".svg"};
}

SavedRun SaveRunFiles(const std::filesystem::path& dir, const RunRecord& run) {
  const std::vector<int> taken = ExistingRunNumbers(dir);
  int number = taken.empty() ? 1 : taken.back() + 1;
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt, ++number) {
    const std::string stem = RunStem(number);
    WrittenFiles placed = PlaceRunFiles(dir, stem, number, run);
    // Another program took this number meanwhile: the next one.
    const bool firstTaken = placed.failure && placed.failure->error == EEXIST &&
                            placed.failure->path == dir / (stem + ".frd");
    if (!firstTaken) {
      return {number, stem, std::move(placed)};
    }
  }
  return {0, "", {{}, FileError{"find a free run number in", dir, EEXIST}}};
}

std::vector<std::string> AverageFileNames(const SessionResponses& session) {
  std::vector<std::string> names{"average.frd", "average.svg"};
  if (session.acoustics().size() > 1) {
    names.emplace_back("average-acoustics.csv");
  }
  names.emplace_back("average.json");
  return names;
}

WrittenFiles SaveAverageFiles(const std::filesystem::path& dir, const SessionResponses& session,
                              std::span<const PlotCurve> extraCurves, const AverageExtras& extras) {
  if (session.size() < 2 || session.average().empty()) {
    return {};
  }
  const std::vector<std::string> names = AverageFileNames(session);
  std::vector<std::function<FileResult(const std::filesystem::path&)>> writers{
      [&](const std::filesystem::path& path) {
        return PlaceText(path, Placing::kReplace,
                         FormatFrd(AverageHeader(session, extras.facts), session.average()));
      },
      [&](const std::filesystem::path& path) {
        return PlaceText(
            path, Placing::kReplace,
            RenderResponseSvg(AveragePlot(session, extraCurves, LevelAxis(extras.facts))));
      }};
  if (session.acoustics().size() > 1) {
    writers.emplace_back([&](const std::filesystem::path& path) {
      return PlaceText(path, Placing::kReplace,
                       AverageAcousticsCsv(AverageAcoustics(session.acoustics())));
    });
  }
  writers.emplace_back([&](const std::filesystem::path& path) {
    return PlaceText(path, Placing::kReplace,
                     AverageJson({session, extras.facts, names, extras.filters, extras.preGainDb}));
  });
  return WriteInOrder(dir, names, writers);
}
