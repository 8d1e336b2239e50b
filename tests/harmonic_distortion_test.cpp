#include "analysis/harmonic_distortion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/room_response.h"
#include "analysis/time_of_flight.h"
#include "base/fftw_handles.h"
#include "cookbook_biquad.h"
#include "report/distortion_report.h"
#include "signals/log_sweep.h"
#include "signals/sweep.h"

// A loudspeaker simulated as y = x + a2 x^2 + a3 x^3, heard through mild
// filters, late and in noise: its harmonics, measured through the log
// sweep and the two-sided deconvolution, must read back the closed forms.
namespace {

constexpr double kRate = 48000.0;
constexpr std::int32_t kPad = 24000;
constexpr double kAmplitude = 0.5;
constexpr double kStartHz = 18.0;
constexpr double kEndHz = 16175.0;

// What the microphone hears of the sweep: the curve, then the filters
// (the room and the microphone after the loudspeaker), delay samples late,
// then Gaussian noise noiseDb below full scale, and an echo train (a
// reflection every echoSpacing samples, each echoGain of the one before)
// when echoGain is above 0.
struct Loudspeaker {
  double a2 = 0.0;
  double a3 = 0.0;
  std::vector<FilterSpec> filters{};
  std::int32_t delay = 0;
  double noiseDb = 90.0;
  double echoGain = 0.0;
  std::int32_t echoSpacing = 1200;
};

struct Recording {
  std::vector<SampleWord> played;
  std::vector<SampleWord> recorded;
  LogSweepPlan plan;
  SweepRange range{kStartHz, kEndHz, kRate};
};

// The sweep and its square and cube (on the unit scale), as the loudspeaker
// makes them and the interface's anti-alias filter passes them: computed at
// three times the rate and cut off at half the rate, so that no harmonic
// above 24 kHz folds back into the recording as a falling sweep. Made once
// for each sweep length.
struct SweepPowers {
  std::vector<SampleWord> played;
  LogSweepPlan plan;
  std::vector<double> square;
  std::vector<double> cube;
};

const SweepPowers& PowersOf(double seconds) {
  static std::map<double, SweepPowers> made;
  if (const auto found = made.find(seconds); found != made.end()) {
    return found->second;
  }
  SweepPowers& p = made[seconds];
  const std::size_t total = static_cast<std::size_t>(std::lround(seconds * kRate)) + 2 * kPad;
  p.played.resize(total);
  std::vector<double> track(total);
  p.plan = MakeLogSweep({kStartHz, kEndHz, kRate, seconds, kAmplitude}, kPad, p.played, track);

  const std::size_t n = SmoothTransformSize(total);
  const std::size_t up = 3 * n;
  FftwArray<double> signal = MakeFftwArray<double>(up);
  FftwArray<double> power = MakeFftwArray<double>(up);
  FftwArray<std::complex<double>> spectrum = MakeFftwArray<std::complex<double>>(up / 2 + 1);
  const auto transform = [&](std::size_t size, double* data, bool forward) {
    const FftwPlan plan(forward
                            ? fftw_plan_dft_r2c_1d(static_cast<int>(size), data,
                                                   AsFftw(spectrum.get()), FFTW_ESTIMATE)
                            : fftw_plan_dft_c2r_1d(static_cast<int>(size), AsFftw(spectrum.get()),
                                                   data, FFTW_ESTIMATE));
    fftw_execute(plan.get());
  };
  // Below half the rate only, the Nyquist bin included.
  const auto bandLimit = [&] {
    std::fill(spectrum.get() + n / 2, spectrum.get() + up / 2 + 1, 0.0);
  };
  std::fill(signal.get(), signal.get() + n, 0.0);
  std::copy(p.played.begin(), p.played.end(), signal.get());
  transform(n, signal.get(), true);
  bandLimit();
  transform(up, signal.get(), false);
  for (const int order : {2, 3}) {
    for (std::size_t i = 0; i < up; ++i) {
      const double x = signal[i] / static_cast<double>(n) / kFullScale;
      power[i] = order == 2 ? x * x : x * x * x;
    }
    transform(up, power.get(), true);
    bandLimit();
    transform(n, power.get(), false);
    std::vector<double>& out = order == 2 ? p.square : p.cube;
    out.resize(total);
    for (std::size_t i = 0; i < total; ++i) {
      out[i] = power[i] / static_cast<double>(up) * kFullScale;
    }
  }
  return p;
}

Recording Record(double seconds, const Loudspeaker& speaker) {
  const SweepPowers& powers = PowersOf(seconds);
  Recording r;
  r.played = powers.played;
  r.plan = powers.plan;
  const std::size_t total = r.played.size();
  std::vector<Biquad> stages;
  for (const FilterSpec& f : speaker.filters) {
    stages.push_back(Design(f, kRate));
  }
  std::vector<double> heard(total, 0.0);
  for (std::size_t i = 0; i + static_cast<std::size_t>(speaker.delay) < total; ++i) {
    double y = r.played[i] + speaker.a2 * powers.square[i] + speaker.a3 * powers.cube[i];
    for (Biquad& stage : stages) {
      y = stage.Step(y);
    }
    heard[i + static_cast<std::size_t>(speaker.delay)] = y;
  }
  if (speaker.echoGain > 0.0) {
    const auto spacing = static_cast<std::size_t>(speaker.echoSpacing);
    for (std::size_t i = spacing; i < total; ++i) {
      heard[i] += speaker.echoGain * heard[i - spacing];
    }
  }
  std::mt19937 generator(11);
  std::normal_distribution<double> noise(0.0, std::pow(10.0, -speaker.noiseDb / 20.0) * kFullScale);
  r.recorded.resize(total);
  for (std::size_t i = 0; i < total; ++i) {
    r.recorded[i] = static_cast<SampleWord>(std::lround(heard[i] + noise(generator)));
  }
  return r;
}

HarmonicDistortion Measure(const Recording& r) {
  const RoomResponse room =
      *MeasureRoomResponse(r.played, r.recorded, r.range,
                           {.leadSamples = DistortionLeadSamples(r.range, r.plan.rateConstant)});
  const std::int32_t flight = FindTimeOfFlight(room.impulse, r.range).value_or(0);
  return MeasureHarmonicDistortion(room, r.range, {r.plan.rateConstant, flight});
}

double Db(double ratio) {
  return 20.0 * std::log10(ratio);
}

struct ClosedFormCase {
  const char* name;
  double a2;
  double a3;
};

// For x = A sin: x^2 = A^2 (1 - cos 2wt) / 2 and x^3 = A^3 (3 sin wt - sin 3wt) / 4, so
// the 2nd harmonic is a2 A^2 / 2, the 3rd a3 A^3 / 4 and the fundamental A (1 + 3 a3 A^2 / 4);
// the filters then weigh each at its own frequency.
TEST(HarmonicDistortion, SecondAndThirdHarmonicsReadBackTheirClosedForms) {
  const std::vector<FilterSpec> filters{{"highpass", 25.0, 0.707}, {"peaking", 2000.0, 1.0, 4.0}};
  const std::vector<ClosedFormCase> cases{
      {"H2 -20 dB, H3 -40 dB", 0.4, 0.16},
      {"H2 -60 dB, H3 -22 dB", 0.005, 1.6},
      {"H2 -40 dB, H3 -60 dB", 0.04, 0.016},
      {"H2 -40 dB, no H3", 0.04, 0.0},
  };
  for (const ClosedFormCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Recording r = Record(10.0, {c.a2, c.a3, filters, 150, 90.0});
    const HarmonicDistortion d = Measure(r);
    ASSERT_TRUE(d.Measured()) << d.refusal;
    ASSERT_EQ(d.points.size(),
              static_cast<std::size_t>(std::floor(24.0 * std::log2(kEndHz / kStartHz) + 1e-9)) + 1);
    double worst[3] = {0.0, 0.0, 0.0};  // fundamental, H2, H3
    for (const DistortionPoint& p : d.points) {
      // H4 and H5 are not there at all: the noise alone must never pass for them.
      EXPECT_FALSE(p.Harmonic(4).has_value()) << p.hz;
      EXPECT_FALSE(p.Harmonic(5).has_value()) << p.hz;
      if (c.a3 == 0.0) {
        EXPECT_FALSE(p.Harmonic(3).has_value()) << p.hz;
      }
      if (p.hz < 100.0 || p.hz > 5000.0) {
        continue;
      }
      const auto gain = [&](double hz) {
        double g = 1.0;
        for (const FilterSpec& f : filters) g *= Design(f, kRate).Magnitude(hz);
        return g;
      };
      const double fundamental = 1.0 + 0.75 * c.a3 * kAmplitude * kAmplitude;
      const double h2 = c.a2 * kAmplitude / 2.0 / fundamental * gain(2 * p.hz) / gain(p.hz);
      const double h3 =
          c.a3 * kAmplitude * kAmplitude / 4.0 / fundamental * gain(3 * p.hz) / gain(p.hz);
      const double fundamentalError = p.fundamentalDb - Db(fundamental * gain(p.hz));
      worst[0] = std::max(worst[0], std::fabs(fundamentalError));
      EXPECT_NEAR(fundamentalError, 0.0, 0.5) << p.hz;
      ASSERT_TRUE(p.Harmonic(2).has_value()) << p.hz;
      worst[1] = std::max(worst[1], std::fabs(*p.Harmonic(2) - Db(h2)));
      EXPECT_NEAR(*p.Harmonic(2), Db(h2), 0.5) << p.hz;
      if (c.a3 > 0.0) {
        ASSERT_TRUE(p.Harmonic(3).has_value()) << p.hz;
        worst[2] = std::max(worst[2], std::fabs(*p.Harmonic(3) - Db(h3)));
        EXPECT_NEAR(*p.Harmonic(3), Db(h3), 0.5) << p.hz;
        const double thd = 100.0 * std::hypot(h2, h3);
        EXPECT_NEAR(*p.thdPercent / thd, 1.0, 0.06) << p.hz;
      }
    }
    std::printf("[ %s ] worst error 100 Hz-5 kHz: fundamental %.3f dB, H2 %.3f dB, H3 %.3f dB\n",
                c.name, worst[0], worst[1], worst[2]);
  }
}

struct RefusalCase {
  const char* name;
  double seconds;
  Loudspeaker speaker;
  const char* says;  // a phrase of the reason
};

TEST(HarmonicDistortion, RefusedWhereTheWindowsCannotHoldTheResponse) {
  const std::vector<RefusalCase> cases{
      // L ln 2 = 0.08 s, and 3 cycles of 18 Hz need 0.17 s.
      {"sweep too short for its range", 1.0, {0.04, 0.016}, "at least 3 s"},
      // An echo every 25 ms, each 0.9 of the one before: 30 dB down after 0.8 s.
      {"room that rings too long", 10.0, {0.04, 0.016, {}, 0, 90.0, 0.9}, "decay"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HarmonicDistortion d = Measure(Record(c.seconds, c.speaker));
    EXPECT_FALSE(d.Measured());
    EXPECT_TRUE(d.points.empty());
    EXPECT_NE(d.refusal.find(c.says), std::string::npos) << d.refusal;
    EXPECT_NE(d.refusal.find("Use a sweep of at least"), std::string::npos) << d.refusal;
  }
}

// The lead reads h before time 0 off the circle's far end and changes
// nothing else: a recording 100 samples early puts the whole response
// there.
TEST(RoomResponseLead, BeforeZeroHoldsTheResponseBeforeTimeZero) {
  constexpr std::int32_t kTotal = 48000 + 2 * 4800;
  std::vector<SampleWord> played(kTotal);
  std::vector<double> track(kTotal);
  MakeSweep(48000, played.data(), track.data(), 20.0, 20000.0, kTotal, 0.5, 4800);
  std::vector<SampleWord> early(kTotal, 0);
  for (std::size_t i = 0; i + 100 < early.size(); ++i) {
    early[i] = played[i + 100];
  }
  const SweepRange range{20.0, 20000.0, kRate};
  const RoomResponse plain = *MeasureRoomResponse(played, early, range);
  EXPECT_TRUE(plain.beforeZero.empty());
  struct Case {
    std::size_t asked;
    std::size_t kept;
  };
  for (const Case& c : {Case{1000, 1000}, Case{1, 1}, Case{10'000'000, plain.transformSize / 2}}) {
    SCOPED_TRACE(c.asked);
    const RoomResponse room = *MeasureRoomResponse(played, early, range, {.leadSamples = c.asked});
    EXPECT_EQ(room.impulse, plain.impulse);
    EXPECT_EQ(room.transfer, plain.transfer);
    ASSERT_EQ(room.beforeZero.size(), c.kept);
    if (c.kept < 100) {
      continue;
    }
    const auto peak =
        std::ranges::max_element(room.beforeZero, {}, [](float v) { return std::fabs(v); });
    EXPECT_EQ(room.beforeZero.end() - peak, 100);
    // A pulse band-limited to 20 Hz - 20 kHz of the 24 kHz the rate holds,
    // with half of each roll-off beyond (to 14 Hz, and to 24 kHz).
    EXPECT_NEAR(*peak, (19980.0 + 2000.0 + 3.0) / 24000.0, 0.01);
  }
}

DistortionPoint Point(double hz, double fundamentalDb, std::optional<double> h2,
                      std::optional<double> h3, std::optional<double> thd) {
  DistortionPoint p;
  p.hz = hz;
  p.fundamentalDb = fundamentalDb;
  p.harmonicDb = {h2, h3, std::nullopt, std::nullopt};
  p.thdPercent = thd;
  return p;
}

TEST(DistortionReport, CsvSummaryAndPlot) {
  HarmonicDistortion d;
  d.points = {Point(99.6, -3.004, -40.123, -52.3, 1.0027),
              Point(101.0, -3.0, std::nullopt, -0.001, 0.0),
              Point(1000.0, -6.5, -49.25, std::nullopt, 0.345), Point(10000.0, -9.0, {}, {}, {})};
  EXPECT_EQ(DistortionCsv(d),
            "frequency_hz,fundamental_db,h2_db,h3_db,h4_db,h5_db,thd_percent\n"
            "99.600,-3.00,-40.12,-52.30,,,1.0027\n"
            "101.000,-3.00,,0.00,,,0.0000\n"
            "1000.000,-6.50,-49.25,,,,0.3450\n"
            "10000.000,-9.00,,,,,\n");
  EXPECT_EQ(DistortionSummary(d),
            "Distortion: 100 Hz THD 1.0 % (H2 -40.1 dB, H3 -52.3 dB); 1 kHz THD 0.34 % (H2 -49.2 "
            "dB).\n");

  RunFacts facts;
  facts.dateTime = "2024-05-01 14:03:22";
  const ResponsePlot plot = DistortionPlot(7, facts, d);
  EXPECT_EQ(plot.title, "Run 007 \u2014 harmonic distortion \u2014 2024-05-01 14:03:22");
  ASSERT_EQ(plot.curves.size(), 3U);  // the fundamental, H2 and H3: H4 and H5 were never measured
  EXPECT_EQ(plot.curves[1].points[0].db, -3.004 - 40.123);  // absolute: fundamental + relative
  EXPECT_TRUE(std::isnan(plot.curves[1].points[1].db));
  const std::string svg = RenderResponseSvg(plot);
  const std::size_t h2 = svg.find("id=\"curve-1\"");
  ASSERT_NE(h2, std::string::npos);
  const std::string path = svg.substr(h2, svg.find("/>", h2) - h2);
  EXPECT_EQ(std::count(path.begin(), path.end(), 'M'), 2) << path;  // broken where not measured

  const HarmonicDistortion refused{"The sweep is too short.", {}};
  EXPECT_EQ(DistortionCsv(refused), std::string(kDistortionCsvHeader) + "\n");
  EXPECT_EQ(DistortionSummary(refused), "Distortion not measured. The sweep is too short.\n");
  EXPECT_EQ(DistortionSummary(HarmonicDistortion{"", {Point(100.0, 0.0, {}, {}, {})}}),
            "Distortion: no harmonic measured at 100 Hz, 1 kHz or 10 kHz (below the noise, or "
            "beyond the sweep).\n");
}

}  // namespace
