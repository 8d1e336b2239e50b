#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cookbook_biquad.h"
#include "process_runner.h"

// The exponential sweep end to end through the simulated room: the band
// table, the loudspeaker's distortion against closed forms, and the bass
// noise it saves.
namespace {

namespace fs = std::filesystem;

ProcessResult Measure(const TempDir& work, const Room& room, const std::string& options) {
  return RunTonvale(room.Entry("room"), "", work.path(), 120,
                    {"sh", "-c", "exec \"$0\" -D room --runs 1 --save out " + options});
}

// A band's truth: |H| averaged over the band's frequencies with the weight
// 1/f that equal time per octave gives them.
double LogMeanMagnitude(const std::vector<Biquad>& room, double low, double high) {
  constexpr int kSteps = 2000;
  double sum = 0.0;
  for (int i = 0; i < kSteps; ++i) {
    const double f = low * std::pow(high / low, (i + 0.5) / kSteps);
    double magnitude = 1.0;
    for (const Biquad& h : room) magnitude *= h.Magnitude(f);
    sum += magnitude;
  }
  return sum / kSteps;
}

TEST(LogSweepRun, EveryBandOfTheDefaultPlanIsResolvedAndReadsTheRoom) {
  const std::vector<std::vector<FilterSpec>> rooms{{{"lowpass", 800.0, 0.707}},
                                                   {{"highpass", 120.0, 0.707}},
                                                   {{"peaking", 400.0, 1.5, 6.0}},
                                                   {{"notch", 2000.0, 2.0}}};
  for (const std::vector<FilterSpec>& filters : rooms) {
    SCOPED_TRACE(filters.front().type);
    TempDir work;
    Room room;
    room.gainDb = -6.0;
    room.filters = FilterEntries(filters);
    const ProcessResult r = Measure(work, room, "--sweep log");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err.find("fewer than 3 cycles"), std::string::npos) << r.err;
    const std::vector<PrintedReport> reports = FindReports(r.out);
    ASSERT_EQ(reports.size(), 1U);
    const std::vector<BandLine>& bands = reports.front().bands;
    std::vector<Biquad> sections;
    for (const FilterSpec& f : filters) sections.push_back(Design(f));
    std::vector<double> truth;
    for (const BandLine& band : bands)
      truth.push_back(LogMeanMagnitude(sections, band.low, band.high));
    const double reference = truth.at(static_cast<std::size_t>(
        std::max_element(bands.begin(), bands.end(),
                         [](const BandLine& a, const BandLine& b) { return a.level < b.level; }) -
        bands.begin()));
    for (std::size_t b = 0; b < bands.size(); ++b) {
      const double want = 20.0 * std::log10(truth[b] / reference);
      // The fades touch only the first and the last band.
      const double tolerance = b == 0 || b + 1 == bands.size() ? 0.5 : 0.25;
      if (want > -40.0) {
        EXPECT_NEAR(bands[b].level, want, tolerance) << "band " << bands[b].number;
      }
    }
  }
}

// y = x + a2 x^2 + a3 x^3 on a sine of amplitude A gives a fundamental of
// A (1 + 3 a3 A^2 / 4), a 2nd harmonic of a2 A^2 / 2 and a 3rd of a3 A^3 / 4.
TEST(LogSweepRun, HarmonicsOfTheLoudspeakerMatchTheirClosedForms) {
  struct Case {
    double a2;
    double a3;
  };
  const std::vector<Case> cases{{0.1, 0.05}, {0.004, 0.4}};
  constexpr double kAmplitude = 0.5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a2);
    TempDir work;
    Room room;
    room.gainDb = -6.0;
    room.noiseDb = -100.0;
    std::ostringstream keys;
    keys << "nonlinear { a2 " << c.a2 << " a3 " << c.a3 << " }";
    room.extra = keys.str();
    const ProcessResult r = Measure(work, room, "--sweep log");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const double fundamental = kAmplitude * (1.0 + 0.75 * c.a3 * kAmplitude * kAmplitude);
    const double h2 = 20.0 * std::log10(c.a2 * kAmplitude * kAmplitude / 2.0 / fundamental);
    const double h3 = 20.0 * std::log10(c.a3 * std::pow(kAmplitude, 3) / 4.0 / fundamental);
    const std::vector<std::string> lines =
        SplitLines(ReadWholeFile(work.path() / "out" / "run-001-distortion.csv"));
    ASSERT_GT(lines.size(), 200U);
    EXPECT_EQ(lines.front(), "frequency_hz,fundamental_db,h2_db,h3_db,h4_db,h5_db,thd_percent");
    int compared = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      double hz = 0.0;
      double level = 0.0;
      double second = 0.0;
      double third = 0.0;
      if (std::sscanf(lines[i].c_str(), "%lf,%lf,%lf,%lf", &hz, &level, &second, &third) == 4 &&
          hz >= 100.0 && hz <= 5000.0) {
        EXPECT_NEAR(second, h2, 0.5) << hz;
        EXPECT_NEAR(third, h3, 0.5) << hz;
        ++compared;
      }
    }
    EXPECT_GT(compared, 100);
  }
}

// The deconvolved noise below 100 Hz, in dB of its RMS: a second of the
// impulse response five seconds after the direct sound, where the ringing of
// the swept band's edges has died down, through a steep low-pass.
double BassNoiseDb(const fs::path& wav) {
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  if (file == nullptr) return 0.0;
  std::vector<float> samples(static_cast<std::size_t>(info.frames));
  sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  std::vector<Biquad> lowPass{Design({"lowpass", 100.0, 0.54}), Design({"lowpass", 100.0, 1.31})};
  double energy = 0.0;
  std::size_t count = 0;
  for (std::size_t i = 4 * 48000; i < samples.size() && i < 6 * 48000; ++i) {
    double y = samples[i];
    for (Biquad& h : lowPass) y = h.Step(y);
    if (i >= 5 * 48000) {
      energy += y * y;
      ++count;
    }
  }
  return 10.0 * std::log10(energy / static_cast<double>(std::max<std::size_t>(count, 1)));
}

TEST(LogSweepRun, BassNoiseOfTheImpulseResponseIsTenDecibelsBelowTheLinearSweeps) {
  double noise[2] = {0.0, 0.0};
  for (int log = 0; log < 2; ++log) {
    TempDir work;
    Room room;
    room.gainDb = -6.0;
    room.noiseDb = -30.0;
    const ProcessResult r = Measure(work, room, log == 1 ? "--sweep log" : "--sweep linear");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    noise[log] = BassNoiseDb(work.path() / "out" / "run-001-ir.wav");
  }
  EXPECT_LE(noise[1], noise[0] - 10.0) << "linear " << noise[0] << " dB, log " << noise[1];
}

}  // namespace
