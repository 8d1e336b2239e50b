#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/fine_response.h"
#include "cookbook_biquad.h"
#include "report/frd_file.h"
#include "run_harness.h"

// The saved impulse response, read back as a room tool reads it (time zero
// where the manual puts it), holds the same response as the run's FRD.
namespace {

constexpr std::size_t kTimeZero = 12000;  // 0.25 s at 48000 Hz

std::vector<float> ReadWav(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* wav = sf_open(path.c_str(), SFM_READ, &info);
  if (wav == nullptr) return {};
  std::vector<float> samples(static_cast<std::size_t>(info.frames));
  sf_readf_float(wav, samples.data(), info.frames);
  sf_close(wav);
  return samples;
}

// The spectrum of h, the samples before time zero wrapped to the far end.
std::vector<std::complex<double>> Spectrum(const std::vector<float>& wav) {
  const std::size_t n = wav.size();
  std::vector<double> h(n);
  for (std::size_t i = 0; i < n; ++i) h[i] = wav[(i + kTimeZero) % n];
  std::vector<std::complex<double>> bins(n / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(
      static_cast<int>(n), h.data(), reinterpret_cast<fftw_complex*>(bins.data()), FFTW_ESTIMATE);
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  return bins;
}

struct IrCase {
  const char* name;
  int acousticDelay;
  std::vector<FilterSpec> filters;
  const char* options;
};

TEST(IrWav, SpectrumMatchesTheFrd) {
  const IrCase cases[] = {
      {"at the loudspeaker", 0, {}, "--save out"},
      {"3 m away behind a high-pass", 432, {{"highpass", 60.0, 0.707}}, "--save out"},
      {"3 m away, log sweep", 432, {}, "--save out --sweep log"},
  };
  for (const IrCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir work;
    Room room;
    room.acousticDelay = c.acousticDelay;
    room.filters = FilterEntries(c.filters);
    const ProcessResult r = RunTonvale(room.Entry("room"), "c\nroom\nr\nc\nx\n", work.path(), 60,
                                       {"sh", "-c", std::string("exec \"$0\" ") + c.options});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const FrdContents frd = ReadFrdFile(work.path() / "out" / "run-001.frd");
    const std::vector<float> wav = ReadWav(work.path() / "out" / "run-001-ir.wav");
    ASSERT_TRUE(frd.ok && !frd.points.empty() && wav.size() > kTimeZero) << frd.message;
    const std::vector<std::complex<double>> bins = Spectrum(wav);
    const double binHz = 48000.0 / static_cast<double>(wav.size());
    // The FRD's windows, over the bins inside its range.
    const double lowest = std::ceil(frd.points.front().hz / binHz);
    const double highest = std::floor(frd.points.back().hz / binHz);
    double worst = 0.0;
    for (const ResponsePoint& p : frd.points) {
      const double half = std::exp2(FineSmoothingOctaves(p.hz) / 2.0);
      double from = std::max(std::ceil(p.hz / half / binHz), lowest);
      double to = std::min(std::floor(p.hz * half / binHz), highest);
      if (from > to) from = to = std::clamp(std::round(p.hz / binHz), lowest, highest);
      double power = 0.0;
      for (auto k = static_cast<std::size_t>(from); k <= static_cast<std::size_t>(to); ++k) {
        power += std::norm(bins[k]);
      }
      const double db = 10.0 * std::log10(power / (to - from + 1.0));
      worst = std::max(worst, std::abs(db - p.db));
      EXPECT_NEAR(db, p.db, 0.2) << p.hz << " Hz";
    }
    std::printf("%s: worst %.3f dB\n", c.name, worst);
  }
}

}  // namespace
