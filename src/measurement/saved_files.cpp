#include "measurement/saved_files.h"

#include <cerrno>

#include "files/ir_wav.h"
#include "files/run_files.h"
#include "report/frd_file.h"

namespace {

// Tries further numbers this often when others take them as fast as we look.
constexpr int kClaimAttempts = 1000;

FileResult PlaceRunFiles(const std::filesystem::path& dir, const std::string& stem, int number,
                         const RunRecord& run) {
  // The response first: when its name is taken, no file of this number was made.
  if (auto frd = PlaceText(dir / (stem + ".frd"), Placing::kNew,
                           FormatFrd(RunHeader(run.facts), run.response));
      !frd) {
    return frd;
  }
  const std::filesystem::path wav = dir / (stem + "-ir.wav");
  if (auto written =
          PlaceFile(wav, Placing::kNew,
                    [&](UniqueFd fd, const std::filesystem::path&) {
                      return WriteIrWav(std::move(fd), wav, {run.impulse, run.facts.rate});
                    });
      !written) {
    return written;
  }
  return PlaceText(dir / (stem + ".svg"), Placing::kNew, RenderResponseSvg(RunPlot(number, run)));
}

}  // namespace

Expected<SavedRun, FileError> SaveRunFiles(const std::filesystem::path& dir, const RunRecord& run) {
  const std::vector<int> taken = ExistingRunNumbers(dir);
  int number = taken.empty() ? 1 : taken.back() + 1;
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt, ++number) {
    const std::string stem = RunStem(number);
    auto placed = PlaceRunFiles(dir, stem, number, run);
    if (placed) {
      return SavedRun{number, stem};
    }
    // Another program took this number meanwhile: the next one.
    const bool firstTaken =
        placed.error().error == EEXIST && placed.error().path == dir / (stem + ".frd");
    if (!firstTaken) {
      return Unexpected{placed.error()};
    }
  }
  return FileFailure("find a free run number in", dir, EEXIST);
}

FileResult SaveAverageFiles(const std::filesystem::path& dir, const SessionResponses& session,
                            std::span<const PlotCurve> extraCurves, const RunFacts& facts) {
  if (session.size() < 2) {
    return Done{};
  }
  std::vector<std::string> header{std::string(kProgramAndVersion),
                                  "power average of " + RunList(session)};
  if (facts.splOffsetDb) {
    header.push_back(SplText(facts));
  }
  header.emplace_back("frequency(Hz) dB phase(degrees, none: 0)");
  if (auto frd =
          PlaceText(dir / "average.frd", Placing::kReplace, FormatFrd(header, session.average()));
      !frd) {
    return frd;
  }
  return PlaceText(dir / "average.svg", Placing::kReplace,
                   RenderResponseSvg(AveragePlot(session, extraCurves, LevelAxis(facts))));
}
