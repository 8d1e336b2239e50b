#include "analysis/room_acoustics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/octave_filters.h"
#include "report/acoustics_plots.h"
#include "report/acoustics_texts.h"

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kOnset = 240;  // 5 ms of flight before the decay
const double kG = std::pow(10.0, 0.3);

// IEC 61260-1:2014 class 1: relative attenuation limits (dB) at G^e for
// octaves; the breakpoints of 1/b-octave bands follow from those.
struct MaskPoint {
  double exponent;
  double minDb;
  double maxDb;
};
const std::vector<MaskPoint> kClass1{
    {0.0, -0.4, 0.4}, {0.125, -0.4, 0.5}, {0.25, -0.4, 0.7}, {0.375, -0.4, 1.4}, {0.5, 1.2, 5.3},
    {1.0, 16.6, 1e9}, {2.0, 40.5, 1e9},   {3.0, 60.0, 1e9},  {4.0, 70.0, 1e9},
};

double AttenuationDb(const FilterBand& band, double hz) {
  std::complex<double> response = 1.0;
  for (const BiquadCoefficients& section : band.sections) {
    response *= ResponseAt(section, UnitDelayAt(hz, kRate));
  }
  return -20.0 * std::log10(std::abs(response));
}

TEST(AcousticsBandFilters, MeetIec61260Class1) {
  for (const auto& [resolution, perOctave, count] :
       {std::tuple{BandResolution::kOctave, 1, 8},
        std::tuple{BandResolution::kThirdOctave, 3, 24}}) {
    const std::vector<FilterBand> bands = DesignBandFilters(resolution, 20.0, 20000.0, kRate);
    ASSERT_EQ(bands.size(), static_cast<std::size_t>(count));
    const double widen = (std::pow(kG, 1.0 / (2 * perOctave)) - 1.0) / (std::sqrt(kG) - 1.0);
    for (const FilterBand& band : bands) {
      SCOPED_TRACE(band.nominalHz);
      const double reference = AttenuationDb(band, band.exactHz);
      for (const MaskPoint& point : kClass1) {
        const double omega = 1.0 + widen * (std::pow(kG, point.exponent) - 1.0);
        for (const double hz : {band.exactHz * omega, band.exactHz / omega}) {
          if (hz < kRate / 2.0) {
            const double relative = AttenuationDb(band, hz) - reference;
            EXPECT_GE(relative, point.minDb) << hz << " Hz";
            EXPECT_LE(relative, point.maxDb) << hz << " Hz";
          }
        }
      }
    }
  }
}

// White noise times exp(-6.91 t / T) from kOnset on, over noise pnrDb below
// the decay's starting power, with a direct sound carrying directDb re the
// decay's whole energy at the onset.
std::vector<float> Decay(double t60, double pnrDb, double directDb, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> gauss;
  const auto length = static_cast<std::size_t>(kRate * (1.5 * t60 * pnrDb / 60.0 + 0.5));
  std::vector<float> response(std::max(length, static_cast<std::size_t>(kRate)));
  const double noise = std::pow(10.0, -pnrDb / 20.0);
  const double decayEnergy = kRate * t60 / (6.0 * std::log(10.0));
  for (std::size_t i = 0; i < response.size(); ++i) {
    double x = noise * gauss(generator);
    if (i >= kOnset) {
      x += gauss(generator) * std::exp(-6.91 * static_cast<double>(i - kOnset) / kRate / t60);
    }
    if (i == kOnset) {
      x += std::sqrt(decayEnergy * std::pow(10.0, directDb / 10.0));
    }
    response[i] = static_cast<float>(x);
  }
  return response;
}

// The statistical scatter of one noise decay in a band of width B: T20 and
// T30 after ISO 3382-2 Annex B (the integrated impulse response counting as
// ten decays), EDT taken as twice T20's; the energy ratios and Ts from the
// independent samples in the energy that they weigh (about B per second).
struct Scatter {
  double t20, t30, edt, c50Db, c80Db, tsMs;
};
Scatter ScatterOf(double bandwidth, double t60) {
  const double bt = bandwidth * t60;
  const double k = 6.0 * std::log(10.0) / t60;  // energy decay rate, 1/s
  const auto ratioScatter = [&](double te) {
    const double q = std::exp(-k * te);
    const double early = 2.0 * (1.0 - q) / (k * (1.0 + q));
    return std::sqrt(1.0 / (bandwidth * early) + 1.0 / (bandwidth * 2.0 / k));
  };
  const double t20 = 0.88 * std::sqrt((1.0 + 1.90 / 10) / bt);
  return {t20,
          0.55 * std::sqrt((1.0 + 1.52 / 10) / bt),
          2.0 * t20,
          4.34 * ratioScatter(0.05),
          4.34 * ratioScatter(0.08),
          1000.0 / (2.0 * std::sqrt(bandwidth * k))};
}

struct DecayRow {
  const char* name;
  double t60;
  double pnrDb;
  double directDb;  // -inf: none
  unsigned seed;
};

constexpr double kNoDirect = -std::numeric_limits<double>::infinity();

// Every octave against the closed forms of an exponential decay (with the
// direct sound where there is one), within the targets or 4.5 times the
// statistical scatter of one noise decay, whichever is larger. A decay time
// that is flagged "filter" or "fit" may be anything: it says itself that it is
// not to be trusted. The row faster than the 63 Hz filter checks only that.
TEST(AcousticsDecays, MatchTheClosedForms) {
  const std::vector<DecayRow> rows{
      {"T 0.2 s", 0.2, 60.0, kNoDirect, 1},
      {"T 0.5 s", 0.5, 60.0, kNoDirect, 2},
      {"T 1 s", 1.0, 60.0, kNoDirect, 3},
      {"T 2 s", 2.0, 60.0, kNoDirect, 4},
      {"T 1 s, 40 dB of peak-to-noise", 1.0, 40.0, kNoDirect, 5},
      {"T 0.1 s: faster than the 63 Hz filter", 0.1, 60.0, kNoDirect, 6},
      {"T 0.5 s with a direct sound as loud as the decay", 0.5, 60.0, 0.0, 7},
  };
  constexpr double kSigmas = 4.5;
  for (const DecayRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<float> response = Decay(row.t60, row.pnrDb, row.directDb, row.seed);
    const RoomAcoustics room = AnalyseRoomAcoustics(response, {kRate, 20.0, 20000.0});
    ASSERT_EQ(room.bands.size(), 8U);
    // The first sample within 20 dB of the peak: the onset or a sample after.
    ASSERT_GE(room.startIndex, kOnset);
    ASSERT_LE(room.startIndex, kOnset + 4);
    const double direct = std::pow(10.0, row.directDb / 10.0);  // re the decay's energy
    const double t = row.t60;
    const auto late = [t](double te) { return std::pow(10.0, -6.0 * te / t); };
    const auto clarity = [&](double te) {
      return 10.0 * std::log10((direct + 1.0 - late(te)) / late(te));
    };
    const double d50 = (direct + 1.0 - late(0.05)) / (direct + 1.0);
    const double tsMs = 1000.0 * t / (6.0 * std::log(10.0)) / (direct + 1.0);
    const bool lowRange = row.pnrDb < 45.0;
    const bool filterRow = t < 0.2;
    for (const BandAcoustics& band : room.bands) {
      SCOPED_TRACE(band.nominalHz);
      const Scatter scatter =
          ScatterOf(band.centreHz * (std::pow(kG, 0.5) - std::pow(kG, -0.5)), t);
      const double target = band.nominalHz == 63.0 ? 0.05 : lowRange ? 0.03 : 0.02;
      const unsigned exempt = filterRow ? ~0U : kFlagFilter | kFlagFit;
      const auto expectTime = [&](const AcousticValue& value, double spread, const char* what,
                                  unsigned alsoExempt = 0U) {
        if ((value.flags & (exempt | alsoExempt)) != 0U) {
          return;
        }
        ASSERT_TRUE(value.value) << what;
        EXPECT_NEAR(*value.value / t, 1.0, std::max(target, kSigmas * spread)) << what;
      };
      expectTime(band.t20, scatter.t20, "T20");
      expectTime(band.t30, scatter.t30, "T30", lowRange ? kFlagRange : 0U);
      if (row.directDb == kNoDirect) {
        expectTime(band.edt, scatter.edt, "EDT");
      }
      if (filterRow && band.nominalHz == 63.0) {
        EXPECT_NE(band.t20.flags, 0U);
      }
      if (filterRow) {
        continue;
      }
      // The range that each needs (63 Hz's own estimate of it scatters most).
      if (band.nominalHz > 63.0) {
        EXPECT_FALSE(band.t20.flags & kFlagRange);
        EXPECT_EQ(lowRange, (band.t30.flags & kFlagRange) != 0U);
      }
      const auto expectValue = [](const AcousticValue& value, double expected, double tolerance,
                                  const char* what) {
        ASSERT_TRUE(value.value) << what;
        EXPECT_NEAR(*value.value, expected, tolerance) << what;
      };
      expectValue(band.c50, clarity(0.05), std::max(0.3, kSigmas * scatter.c50Db), "C50");
      expectValue(band.c80, clarity(0.08), std::max(0.3, kSigmas * scatter.c80Db), "C80");
      // D50 = 1 / (1 + 10^(-C50 / 10)): C50's allowance, mapped.
      const auto definition = [](double c50) { return 1.0 / (1.0 + std::pow(10.0, -c50 / 10.0)); };
      const double c50Allowance = kSigmas * scatter.c50Db;
      expectValue(band.d50, d50,
                  std::max({0.01, definition(clarity(0.05) + c50Allowance) - d50,
                            d50 - definition(clarity(0.05) - c50Allowance)}),
                  "D50");
      expectValue(band.tsMs, tsMs, std::max(2.0, kSigmas * scatter.tsMs), "Ts");
    }
  }
}

// One tone at each octave's centre, decaying with T over a noise 60 dB down
// (random phases, fixed seed): no noise in the band's envelope, so the decay
// times must come out right, 63 Hz's T20 and T30 even at half its own
// filter's T20 (where the flag says so all the same).
TEST(AcousticsDecays, ToneDecaysAreNotLimitedByTheFilters) {
  const std::vector<FilterBand> bands =
      DesignBandFilters(BandResolution::kOctave, 20, 20000, kRate);
  for (const double t : {0.1, 0.2, 1.0}) {
    SCOPED_TRACE(t);
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    std::normal_distribution<double> gauss;
    std::vector<double> phases;
    for (std::size_t b = 0; b < bands.size(); ++b) {
      phases.push_back(phase(generator));
    }
    std::vector<float> response(static_cast<std::size_t>(kRate * (1.5 * t + 0.5)));
    for (std::size_t i = 0; i < response.size(); ++i) {
      double x = 1e-3 * gauss(generator);
      const double seconds = (static_cast<double>(i) - kOnset) / kRate;
      for (std::size_t b = 0; i >= kOnset && b < bands.size(); ++b) {
        x += std::exp(-6.91 * seconds / t) *
             std::sin(2.0 * std::numbers::pi * bands[b].exactHz * seconds + phases[b]);
      }
      response[i] = static_cast<float>(x);
    }
    const RoomAcoustics room = AnalyseRoomAcoustics(response, {kRate, 20.0, 20000.0});
    ASSERT_EQ(room.bands.size(), 8U);
    for (const BandAcoustics& band : room.bands) {
      SCOPED_TRACE(band.nominalHz);
      const double target = band.nominalHz == 63.0 ? 0.05 : 0.02;
      for (const auto& [value, what] : {std::pair{&band.t20, "T20"}, std::pair{&band.t30, "T30"},
                                        std::pair{&band.edt, "EDT"}}) {
        // EDT, at the filter's limit, may be anything when it says so.
        if (value == &band.edt && (value->flags & kFlagFilter) != 0U) {
          continue;
        }
        ASSERT_TRUE(value->value) << what;
        EXPECT_EQ(value->flags & (kFlagRange | kFlagFit), 0U) << what;
        EXPECT_NEAR(*value->value / t, 1.0, target) << what;
      }
    }
    EXPECT_EQ(t < room.bands[0].filterDecayS, (room.bands[0].t20.flags & kFlagFilter) != 0U);
  }
}

TEST(AcousticsTexts, CsvHasTheHeaderAndLeavesMissingValuesEmpty) {
  BandAcoustics band;
  band.nominalHz = 125.0;
  band.edt = {0.512, 0};
  band.t20 = {0.4996, kFlagFit};
  band.t30 = {std::nullopt, kFlagRange};
  band.c50 = {-0.004, 0};
  band.c80 = {3.14159, 0};
  band.d50 = {0.4991, 0};
  band.tsMs = {72.44, 0};
  band.rangeDb = 38.25;
  EXPECT_EQ(AcousticsCsv(std::vector{band}),
            "band_hz,edt_s,t20_s,t30_s,c50_db,c80_db,d50,ts_ms,range_db,flags\n"
            "125,0.512,0.500,,0.00,3.14,0.499,72.4,38.2,range fit\n");
}

TEST(AcousticsTexts, AverageKeepsOnlyUnflaggedValues) {
  std::vector<RoomAcoustics> runs(3);
  for (std::size_t r = 0; r < runs.size(); ++r) {
    BandAcoustics band;
    band.nominalHz = 500.0;
    band.t30 = {0.4 + 0.1 * static_cast<double>(r), r == 2 ? kFlagRange : 0U};
    band.c80 = {2.0, 0};
    runs[r].bands.push_back(band);
  }
  const std::vector<BandAverage> average = AverageAcoustics(runs);
  ASSERT_EQ(average.size(), 1U);
  EXPECT_EQ(average[0].runs, 3);
  EXPECT_EQ(average[0].t30.count, 2);
  EXPECT_DOUBLE_EQ(*average[0].t30.mean, 0.45);
  EXPECT_NEAR(*average[0].t30.sd, std::sqrt(0.005), 1e-12);
  EXPECT_FALSE(average[0].edt.mean);
  EXPECT_EQ(AcousticsSummaryLine(runs[0].bands), "Room: T30 0.40 s, C80 2.0 dB (500 Hz only).\n");
}

TEST(AcousticsTexts, SilenceGivesNoValuesAndSaysWhatToDo) {
  const RoomAcoustics room = AnalyseRoomAcoustics(std::vector<float>(48000), {kRate, 20, 20000});
  ASSERT_EQ(room.bands.size(), 8U);
  for (const BandAcoustics& band : room.bands) {
    EXPECT_FALSE(band.t30.value);
    EXPECT_EQ(band.t30.flags, kFlagRange);
  }
  EXPECT_EQ(AcousticsSummaryLine(room.bands).rfind("Room acoustics: no band", 0), 0U);
  EXPECT_NE(AcousticsSummaryLine(room.bands).find("louder level"), std::string::npos);
}

TEST(AcousticsPlots, EscapeTheirTexts) {
  const std::vector<float> response = Decay(0.5, 60.0, kNoDirect, 8);
  const RoomAcoustics room = AnalyseRoomAcoustics(response, {kRate, 20.0, 20000.0});
  for (const std::string& svg : {RenderDecaySvg(room, "Decay <1> & \"2\"", "hw:1"),
                                 RenderWaterfallSvg(room.waterfall, "Waterfall <1> & \"2\"", "")}) {
    EXPECT_NE(svg.find("&lt;1&gt; &amp; &quot;2&quot;"), std::string::npos);
    EXPECT_EQ(svg.find("<1>"), std::string::npos);
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
  }
}

}  // namespace
