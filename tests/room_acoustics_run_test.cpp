#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "process_runner.h"

// The room's decay measured from end to end: the simulated room's diffuse
// tail has a set reverberation time per octave, and the program must read it
// back from its own impulse response; a run that failed its checks says
// nothing of the room's decay.
namespace {

namespace fs = std::filesystem;

struct DecayBand {
  double hz = 0.0;
  double t30 = 0.0;  // 0: none given
  double t20 = 0.0;
};

std::vector<DecayBand> ReadAcoustics(const fs::path& csv) {
  std::vector<DecayBand> bands;
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(csv));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    DecayBand band;
    std::sscanf(lines[i].c_str(), "%lf,%*[^,],%lf,%lf", &band.hz, &band.t20, &band.t30);
    bands.push_back(band);
  }
  return bands;
}

TEST(RoomAcousticsRun, ReverberationTimeOfEachOctaveComesBack) {
  const std::vector<double> rt60{0.8, 0.6, 0.5, 0.45, 0.4, 0.35, 0.3, 0.25};
  TempDir work;
  Room room;
  room.gainDb = -6.0;
  room.noiseDb = -100.0;
  room.extra = "reverb { rt60 [ 0.8 0.6 0.5 0.45 0.4 0.35 0.3 0.25 ] level_db -6 }";
  const ProcessResult r =
      RunTonvale(room.Entry("room"), "", work.path(), 120,
                 {"sh", "-c", "exec \"$0\" -D room --runs 1 --sweep log --save out"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Room: T30 "), std::string::npos) << r.err;
  const std::vector<DecayBand> bands = ReadAcoustics(work.path() / "out" / "run-001-acoustics.csv");
  ASSERT_EQ(bands.size(), rt60.size());
  for (std::size_t b = 0; b < bands.size(); ++b) {
    // One noise tail per band scatters its decay as a real room's does: more
    // in the low octaves, where a band holds fewer independent samples.
    const double tolerance = b == 0 ? 0.2 : b == 1 ? 0.15 : 0.1;
    EXPECT_NEAR(bands[b].t30, rt60[b], tolerance * rt60[b]) << bands[b].hz << " Hz";
  }
}

TEST(RoomAcousticsRun, ARunThatFailedItsChecksSaysNothingOfTheDecay) {
  TempDir work;
  Room room;
  room.cable = false;
  room.extra = "reverb { rt60 0.5 level_db -6 }";
  const ProcessResult r = RunTonvale(room.Entry("room"), "", work.path(), 120,
                                     {"sh", "-c", "exec \"$0\" -D room --runs 1 --save out"});
  EXPECT_EQ(r.exitStatus, 3) << r.err;
  EXPECT_EQ(r.err.find("Room:"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work.path() / "out" / "run-001-acoustics.csv"));
}

}  // namespace
