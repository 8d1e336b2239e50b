#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "report/band_report.h"

// Reference signals small enough to work out by hand: each band's level is
// its average magnitude against the loudest resolved band's, in dB.
namespace {

struct LevelsCase {
  const char* name;
  std::vector<double> track;
  std::vector<SampleWord> recorded;
  std::int64_t firstAnswer;
  std::vector<double> high;
  std::vector<std::int64_t> counts;
  std::vector<double> levels;
  std::string unresolved;  // one letter a band: U unresolved, - not
  std::int32_t referenceBand;
  double sweepPeak;
  double rate = 48000.0;
};

const std::vector<double> kTrack{18, 20, 22, 23, 27, 30, 40, 0};
const std::vector<SampleWord> kTone{100, -300, 200, 50, -50, 10, 30, 20};
const std::vector<double> kHigh{22, 27, 33};
constexpr SampleWord kLoud = 8000000;

// n samples of value, or of +value and -value in turn, joined in order.
template <typename T>
std::vector<T> Repeated(std::initializer_list<std::pair<T, int>> parts, bool alternate = false) {
  std::vector<T> all;
  for (const auto& [value, n] : parts) {
    for (int i = 0; i < n; ++i) all.push_back(alternate && i % 2 == 1 ? -value : value);
  }
  return all;
}

TEST(Analysis, BandLevelsOfReferenceSignals) {
  // clang-format off
  const std::vector<LevelsCase> cases{
      // An edge stays in its band, 40 Hz above the top edge files into the
      // last band, and the track's drop to 0 never moves the band back.
      {"worked example", kTrack, kTone, 0, kHigh, {3, 2, 3}, {0, -12.04, -20}, "UUU", 0, 300},
      {"worked example late among loud samples", kTrack,
       {kLoud, kLoud, kLoud, kLoud, kLoud, 100, -300, 200, 50, -50, 10, 30, 20, kLoud}, 5, kHigh,
       {3, 2, 3}, {0, -12.04, -20}, "UUU", 0, 300},
      {"missing band", {18, 30, 30}, {10, 20, 40}, 0, kHigh, {1, 0, 2}, {-9.54, -144, 0}, "U-U",
       2, 40},
      {"silent band among loud ones", {20, 25, 30}, {100, 0, 100}, 0, kHigh, {1, 1, 1},
       {0, -144, 0}, "UUU", 0, 100},
      {"full-scale negative", {20, 20}, {5, -8388608}, 0, {22}, {2}, {0}, "U", 0, 8388608},
      {"silence", {20, 20}, {0, 0}, 0, {22}, {2}, {-144}, "U", -1, 0},
      {"no tone", {}, {}, 0, {22}, {0}, {-144}, "-", -1, 0},
      {"no bands", {20}, {5}, 0, {}, {}, {}, "", -1, 0},
      // At 40 samples a second: exactly 3 cycles in band 1, 2 in the loudest band.
      {"a loud unresolved band is not the reference", Repeated<double>({{8, 15}, {10, 8}, {20, 12}}),
       Repeated<SampleWord>({{500, 15}, {1000, 8}, {250, 12}}, true), 0, {8, 14, 20}, {15, 8, 12},
       {0, 6.02, -6.02}, "-U-", 0, 1000, 40.0},
      // A band reaching above half the rate holds no tone a recording can keep.
      {"a band above half the rate is not the reference", Repeated<double>({{8, 15}, {15, 12}}),
       Repeated<SampleWord>({{500, 15}, {1000, 12}}, true), 0, {8, 30}, {15, 12}, {0, 6.02}, "--", 0,
       1000, 40.0},
      // Only answers inside the recording of 4 samples are examined.
      {"answers run past the end", {20, 20, 20}, {9, 9, 9, 9}, 2, {22}, {2}, {0}, "U", 0, 9},
      {"answers start before", {20, 20, 20}, {9, 9, 9, 9}, -2, {22}, {1}, {0}, "U", 0, 9},
      {"answers all after", {20}, {9, 9, 9, 9}, 100, {22}, {0}, {-144}, "-", -1, 0},
  };
  // clang-format on
  for (const LevelsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const BandLevels got = ComputeBandLevels({c.track, c.recorded, c.firstAnswer, c.rate}, c.high);
    ASSERT_EQ(got.bands.size(), c.counts.size());
    for (std::size_t k = 0; k < got.bands.size(); ++k) {
      SCOPED_TRACE("band " + std::to_string(k + 1));
      EXPECT_EQ(got.bands[k].count, c.counts[k]);
      EXPECT_NEAR(got.bands[k].level, c.levels[k], 0.005);
      EXPECT_EQ(got.bands[k].unresolved, c.unresolved[k] == 'U');
    }
    EXPECT_EQ(got.referenceBand, c.referenceBand);
    EXPECT_EQ(got.sweepPeak, c.sweepPeak);
  }
}

struct PeakCase {
  std::vector<SampleWord> samples;
  std::int32_t index;
  double peak;
};

// The sync position is the first largest sample above 0; a negative
// excursion never marks it.
TEST(Analysis, FindPeak) {
  for (const PeakCase& c : std::vector<PeakCase>{{{0, 5, 9, 9, 3}, 2, 9},
                                                 {{-8388608, 100, -5}, 1, 100},
                                                 {{7, 3, 5}, 0, 7},
                                                 {{0, -3, 0, -8388608}, 0, 0},
                                                 {{}, 0, 0}}) {
    const SyncPeak got = FindPeak(c.samples);
    EXPECT_EQ(got.index, c.index) << c.peak;
    EXPECT_EQ(got.peak, c.peak) << c.index;
  }
}

struct ReportCase {
  std::vector<double> levels;
  std::string unresolved;  // one letter a band: U unresolved, - not
  std::int32_t referenceBand;
  std::vector<double> edges;  // the lower edge of band 1, then every upper edge
  std::string table;          // the report's band lines
  std::string warningStart;   // the warning up to its last sentence
};

TEST(Analysis, ReportAndUnresolvedWarning) {
  const std::string unreliable =
      " fewer than 3 cycles of their tone, so their levels are unreliable";
  const std::string leftOut = " and left out of the choice of the 0 dB reference.";
  // clang-format off
  const std::vector<ReportCase> cases{
      {{0, -12.04, -20}, "UUU", 0, {18, 22, 27, 33},
       "1\t18\t22\t0.0\n2\t22\t27\t-12.0\n3\t27\t33\t-20.0\n",
       "Warning: bands 1-3 hold" + unreliable +
           " and, as no other band has a level, the 0 dB reference is among them."},
      {{6.02, 0, -6.02}, "U--", 1, {18, 22, 1000, 2000},
       "1\t18\t22\t6.0\n2\t22\t1000\t0.0\n3\t1000\t2000\t-6.0\n",
       "Warning: band 1 holds fewer than 3 cycles of its tone, so its level is unreliable" +
           leftOut},
      {{-1, -1, -1, 0, -1, -1}, "UUU-U-", 3, {0, 1, 2, 3, 4, 5, 6},
       "1\t0\t1\t-1.0\n2\t1\t2\t-1.0\n3\t2\t3\t-1.0\n4\t3\t4\t0.0\n5\t4\t5\t-1.0\n"
       "6\t5\t6\t-1.0\n",
       "Warning: bands 1-3, 5 hold" + unreliable + leftOut},
      {{0, -144, 0, -144, -144}, "-U-UU", 0, {0, 1, 2, 3, 4, 5},
       "1\t0\t1\t0.0\n2\t1\t2\t-144.0\n3\t2\t3\t0.0\n4\t3\t4\t-144.0\n5\t4\t5\t-144.0\n",
       "Warning: bands 2, 4-5 hold" + unreliable + leftOut},
      {{-138.47}, "-", 0, {2147483000, 2147483001}, "1\t2147483000\t2147483001\t-138.5\n", ""},
  };
  // clang-format on
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.table);
    BandLevels levels;
    levels.referenceBand = c.referenceBand;
    BandPlan plan;
    for (std::size_t k = 0; k < c.levels.size(); ++k) {
      levels.bands.push_back({.level = c.levels[k], .unresolved = c.unresolved[k] == 'U'});
      plan.low[k] = c.edges[k];
      plan.high[k] = c.edges[k + 1];
    }
    EXPECT_EQ(WriteReport(levels, plan), "Results:\nBand\tRange (Hz)\tdB\n" + c.table);
    EXPECT_EQ(UnresolvedWarning(levels),
              c.warningStart.empty()
                  ? ""
                  : c.warningStart + " Use a longer sweep or a narrower frequency range.\n");
  }
}

}  // namespace
