#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <complex>

#include "analysis/fine_response.h"
#include "process_runner.h"
#include "report/frd_file.h"

// The saved impulse response, its time zero at sample 12000 as the manual
// says, holds the run's FRD: the microphone at the loudspeaker, and 3 m away.
TEST(IrWav, SpectrumMatchesTheFrd) {
  for (const auto& [delay, filters] :
       {std::pair{0, ""}, {432, "f1 { type highpass freq 60 q 0.707 }"}}) {
    TempDir work;
    Room room;
    room.acousticDelay = delay;
    room.filters = filters;
    ASSERT_EQ(RunTonvale(room.Entry("r"), "c\nr\nr\nc\nx\n", work.path(), 60,
                         {"sh", "-c", "exec \"$0\" --save out"})
                  .exitStatus,
              0);
    const FrdContents frd = ReadFrdFile(work.path() / "out/run-001.frd");
    SF_INFO info{};
    SNDFILE* wav = sf_open((work.path() / "out/run-001-ir.wav").c_str(), SFM_READ, &info);
    ASSERT_TRUE(wav != nullptr && frd.ok && info.frames > 12000);
    const auto n = static_cast<std::size_t>(info.frames);
    std::vector<float> h(n);
    sf_readf_float(wav, h.data(), info.frames);
    sf_close(wav);
    std::vector<double> rotated(n);  // time zero to the front, before it to the far end
    for (std::size_t i = 0; i < n; ++i) rotated[i] = h[(i + 12000) % n];
    std::vector<std::complex<double>> bin(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(
        int(n), rotated.data(), reinterpret_cast<fftw_complex*>(bin.data()), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    // Each point powers-averages its window's bins inside the FRD's range, as the FRD does.
    const double binHz = 48000.0 / double(n), lowest = std::ceil(frd.points.front().hz / binHz),
                 highest = std::floor(frd.points.back().hz / binHz);
    for (const ResponsePoint& p : frd.points) {
      const double half = std::exp2(FineSmoothingOctaves(p.hz) / 2.0);
      double from = std::max(std::ceil(p.hz / half / binHz), lowest);
      double to = std::min(std::floor(p.hz * half / binHz), highest);
      if (from > to) from = to = std::clamp(std::round(p.hz / binHz), lowest, highest);
      double power = 0.0;
      for (double k = from; k <= to; ++k) power += std::norm(bin[std::size_t(k)]);
      EXPECT_NEAR(10.0 * std::log10(power / (to - from + 1.0)), p.db, 0.2) << delay << ", " << p.hz;
    }
  }
}
