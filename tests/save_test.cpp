#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cookbook_biquad.h"
#include "process_runner.h"
#include "report/frd_file.h"

// What --save and --eq leave behind, measured from end to end on rooms of
// known response.
namespace {

namespace fs = std::filesystem;

ProcessResult Measure(const TempDir& work, const Room& room, const std::string& options,
                      const std::string& settings = "") {
  return RunTonvale(room.Entry("room"), "c\nroom\n" + settings + "r\nc\nx\n", work.path(), 60,
                    {"sh", "-c", "exec \"$0\" " + options});
}

// A run's files: the response matches the room's filters in level and phase,
// the impulse response has its direct sound at the time of flight, and
// numbering goes on after what the folder holds.
TEST(Save, RunFilesHoldTheRoom) {
  const std::vector<FilterSpec> filters = {{"peaking", 400.0, 1.5, 6.0},
                                           {"lowpass", 8000.0, 0.707}};
  TempDir work;
  fs::create_directories(work.path() / "out");
  std::ofstream(work.path() / "out" / "run-004.frd") << "kept\n";
  Room room;
  room.acousticDelay = 144;
  room.filters = FilterEntries(filters);
  const ProcessResult r = Measure(work, room, "--save out", "t\n4\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Saved run-005.frd, run-005-ir.wav, run-005.svg, "), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(" and run-005.json in out."), std::string::npos) << r.err;
  EXPECT_EQ(ReadWholeFile(work.path() / "out" / "run-004.frd"), "kept\n");

  const FrdContents frd = ReadFrdFile(work.path() / "out" / "run-005.frd");
  ASSERT_TRUE(frd.ok) << frd.message;
  // The phase is given with the time of flight the run found taken out; the
  // low-pass moves the direct sound's peak by about a sample.
  int flight = -1;
  for (const std::string& line : frd.header) {
    (void)std::sscanf(line.c_str(), "time of flight: %d samples", &flight);
  }
  EXPECT_NEAR(flight, 144, 1);
  double loudest = -200.0;
  for (const ResponsePoint& p : frd.points) loudest = std::max(loudest, p.db);
  int compared = 0;
  for (const ResponsePoint& p : frd.points) {
    if (p.hz < 36.0 || p.hz > 0.8 * 16175.0) continue;
    const std::complex<double> h = CookbookResponse(filters, p.hz);
    const double db = 20.0 * std::log10(std::abs(h));
    EXPECT_NEAR(p.db, db, 0.25) << p.hz << " Hz";
    if (db > loudest - 20.0) {
      const double phase = std::arg(h) * 180.0 / M_PI + 360.0 * p.hz * (flight - 144) / 48000.0;
      EXPECT_NEAR(std::remainder(p.phaseDeg - phase, 360.0), 0.0, 5.0) << p.hz << " Hz";
    }
    ++compared;
  }
  EXPECT_GT(compared, 400);

  SF_INFO info{};
  SNDFILE* wav = sf_open((work.path() / "out" / "run-005-ir.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(wav, nullptr);
  std::vector<float> impulse(static_cast<std::size_t>(info.frames));
  EXPECT_EQ(sf_readf_float(wav, impulse.data(), info.frames), info.frames);
  sf_close(wav);
  const auto peak = std::max_element(impulse.begin(), impulse.end(),
                                     [](float a, float b) { return std::fabs(a) < std::fabs(b); });
  EXPECT_NEAR(static_cast<double>(peak - impulse.begin()), 12000.0 + 144.0, 1.0);
}

struct Filter {
  double hz, gainDb;
};

// The loop closed: a room with two modes is measured, filters are designed
// for it, the room plays through them, and the second measurement is flat
// where the first had its peaks.
TEST(Save, CorrectionFlattensTheModesOfTheRoom) {
  const std::vector<FilterSpec> modes = {{"peaking", 60.0, 5.0, 8.0}, {"peaking", 140.0, 4.0, 6.0}};
  TempDir work;
  Room room;
  room.filters = FilterEntries(modes);
  const ProcessResult before = Measure(work, room, "--save out --eq");
  ASSERT_EQ(before.exitStatus, 0) << before.err;
  // The EqualizerAPO export's filter lines (their exact form is the exports' own test's).
  std::vector<Filter> filters;
  for (const std::string& l :
       SplitLines(ReadWholeFile(work.path() / "out" / "eq-equalizerapo.txt"))) {
    Filter f{};
    if (std::sscanf(l.c_str(), "Filter %*d: ON PK Fc %lf Hz Gain %lf", &f.hz, &f.gainDb) == 2) {
      filters.push_back(f);
    }
  }
  ASSERT_EQ(filters.size(), 2U) << before.err;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(filters[i].hz, modes[i].freq, 0.05 * modes[i].freq);
    EXPECT_NEAR(filters[i].gainDb, -modes[i].gainDb, 1.5);
  }

  const std::string correction = ReadWholeFile(work.path() / "out" / "eq-simroom.conf");
  room.extra = correction.substr(correction.find("correction {"));
  const ProcessResult after = Measure(work, room, "--save out");
  ASSERT_EQ(after.exitStatus, 0) << after.err;
  const FrdContents first = ReadFrdFile(work.path() / "out" / "run-001.frd");
  const FrdContents second = ReadFrdFile(work.path() / "out" / "run-002.frd");
  ASSERT_EQ(first.points.size(), second.points.size());
  for (std::size_t i = 0; i < first.points.size(); ++i) {
    const double hz = first.points[i].hz;
    if (hz < 20.0 || hz > 500.0) continue;
    // The room is flat at 0 dB but for its modes: that is the target.
    if (first.points[i].db > 0.0) {
      EXPECT_NEAR(second.points[i].db, 0.0, 1.5) << hz << " Hz";
    }
    EXPECT_LE(second.points[i].db, first.points[i].db + 0.05) << "raised at " << hz << " Hz";
  }
}

}  // namespace
