#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"
#include "console/band_plan.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

TEST(Levels, RtodB) {
  EXPECT_DOUBLE_EQ(RtodB(1.0), 0.0);
  EXPECT_DOUBLE_EQ(RtodB(10.0), 20.0);
  EXPECT_NEAR(RtodB(0.5), -6.0206, 1e-4);
  EXPECT_TRUE(std::isinf(RtodB(0.0)) && RtodB(0.0) < 0);
}

struct PeakCase {
  std::vector<SampleWord> samples;
  std::int32_t index;
  const char* level;
};

TEST(Levels, FindPeakTakesTheFirstLargestPositiveSample) {
  const std::vector<PeakCase> cases{
      {{0, 5, 9, 9, 3}, 2, "-119.4"},      {{-8388608, 100, -5}, 1, "-98.5"},
      {{0, -3, 0, -8388608}, 0, "-inf"},   {{}, 0, "-inf"},
      {{1, 4194304, -4194305}, 1, "-6.0"}, {{-1, 8388607}, 1, "-0.0"},
  };
  for (const PeakCase& c : cases) {
    CaptureStdout();
    const std::int32_t index =
        FindPeak(c.samples.data(), static_cast<std::int32_t>(c.samples.size()));
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(index, c.index) << c.level;
    EXPECT_EQ(out, std::string("Ch 2 (sync): Return Level = ") + c.level + " dB\n");
  }
}

struct Call {
  std::int32_t sampleCount;
  std::int32_t bandCount;
  std::vector<double> track;
  std::vector<SampleWord> recorded;
  std::int32_t syncOffset = 0;
  std::vector<double> low{18, 22, 27};
  std::vector<double> high{22, 27, 33};
  std::int32_t pad = 0;
};

const std::string kHeader = "Results:\nBand\tRange (Hz)\tdB\n";
const std::vector<double> kTrack{18, 20, 22, 23, 27, 30, 40, 0};
const std::vector<SampleWord> kTone{100, -300, 200, 50, -50, 10, 30, 20};
const std::string kExampleTable = "1\t18\t22\t0.0\n2\t22\t27\t-12.0\n3\t27\t33\t-20.0\n";

// The worked example placed in a longer recording: silence of pad samples
// before and after the tone, a lag, and loud samples outside the tone's
// recorded stretch that the analysis must not examine.
Call PaddedExample() {
  const std::int32_t pad = 3;
  const std::int32_t lag = 2;
  std::vector<SampleWord> recorded(kTone.size() + 2 * pad, 8000000);
  std::copy(kTone.begin(), kTone.end(), recorded.begin() + pad + lag);
  std::vector<double> track = kTrack;
  track.resize(recorded.size(), 0.0);
  return {static_cast<std::int32_t>(recorded.size()),
          3,
          track,
          recorded,
          lag,
          {18, 22, 27},
          {22, 27, 33},
          pad};
}

// Three bands of real tone: 100 samples of 20 Hz (a twentieth of a cycle,
// and the loudest), then 200 samples each of 1000 Hz and 2000 Hz.
Call ThinLowBand() {
  Call c{500, 3, {}, {}, 0, {18, 22, 1000}, {22, 1000, 2000}};
  for (int i = 0; i < 500; ++i) {
    const bool first = i < 100;
    const bool second = !first && i < 300;
    c.track.push_back(first ? 20.0 : second ? 1000.0 : 2000.0);
    c.recorded.push_back(first ? 1000 : second ? -500 : 250);
  }
  return c;
}

// The largest plan, one sample of its upper edge per band, the first at full
// scale: a report far longer than any fixed buffer.
Call LargestPlan() {
  Call c{kMaxBands, kMaxBands, {}, {}, 0, {}, {}};
  for (std::int32_t k = 0; k < kMaxBands; ++k) {
    c.low.push_back(2147483000.0 + k);
    c.high.push_back(2147483001.0 + k);
    c.track.push_back(c.high.back());
    c.recorded.push_back(k == 0 ? 8388607 : 1);
  }
  return c;
}

std::string LargestPlanTable() {
  std::string table;
  for (std::int32_t k = 0; k < kMaxBands; ++k) {
    table += std::to_string(k + 1) + "\t" + std::to_string(2147483000LL + k) + "\t" +
             std::to_string(2147483001LL + k) + (k == 0 ? "\t0.0\n" : "\t-138.5\n");
  }
  return table;
}

struct AnalyzeCase {
  const char* name;
  Call call;
  std::string table;    // the band lines of the report
  std::string missing;  // standard output between the report and the return level
  const char* level;    // the return level as printed
  const char* warning;  // standard error, or nullptr where not examined
};

TEST(Analysis, ReportsPrintsAndWarns) {
  const std::string missing2 = "Band 2 is missing data\n";
  const std::vector<AnalyzeCase> cases{
      // A few samples of 20 Hz are a tiny fraction of a cycle: all three
      // bands are unresolved and the reference is the loudest of them.
      {"worked example",
       {8, 3, kTrack, kTone},
       kExampleTable,
       "",
       "-88.9",
       "Warning: bands 1-3 hold fewer than 3 cycles of their tone, so their levels are "
       "unreliable and, as no other band has a level, the 0 dB reference is among them. Use a "
       "longer sweep or a narrower frequency range.\n"},
      {"worked example padded and late", PaddedExample(), kExampleTable, "", "-88.9", nullptr},
      {"missing band",
       {3, 3, {18, 30, 30}, {10, 20, 40}},
       "1\t18\t22\t-9.5\n2\t22\t27\t-144.0\n3\t27\t33\t0.0\n",
       missing2,
       "-106.4",
       nullptr},
      {"full-scale negative",
       {3, 1, {20, 20, 20}, {5, -8388608, 7}},
       "1\t18\t22\t0.0\n",
       "",
       "0.0",
       nullptr},
      {"half scale", {2, 1, {20, 20}, {4194304, -3}}, "1\t18\t22\t0.0\n", "", "-6.0", nullptr},
      {"silence", {3, 1, {20, 20, 20}, {0, 0, 0}}, "1\t18\t22\t-144.0\n", "", "-inf", nullptr},
      {"no samples",
       {0, 1, {20}, {}},
       "1\t18\t22\t-144.0\n",
       "Band 1 is missing data\n",
       "-inf",
       nullptr},
      {"no bands", {3, 0, {18, 20, 22}, {100, 200, 300}}, "", "", "-inf", ""},
      {"negative band count", {3, -1, {18, 20, 22}, {100, 200, 300}}, "", "", "-inf", ""},
      {"nothing examined",
       {3, 3, {18, 20, 22}, {100, 200, 300}, 3},
       "1\t18\t22\t-144.0\n2\t22\t27\t-144.0\n3\t27\t33\t-144.0\n",
       "Band 1 is missing data\n" + missing2 + "Band 3 is missing data\n",
       "-inf",
       ""},
      {"unresolved band does not set the reference", ThinLowBand(),
       "1\t18\t22\t6.0\n2\t22\t1000\t0.0\n3\t1000\t2000\t-6.0\n", "", "-78.5",
       "Warning: band 1 holds fewer than 3 cycles of its tone, so its level is unreliable and "
       "left out of the choice of the 0 dB reference. Use a longer sweep or a narrower "
       "frequency range.\n"},
      {"largest band plan", LargestPlan(), LargestPlanTable(), "", "-0.0", ""},
  };
  for (const AnalyzeCase& c : cases) {
    std::string report = "an earlier report";
    CaptureStdout();
    CaptureStderr();
    Analyze(c.call.sampleCount, c.call.bandCount, c.call.track.data(), c.call.recorded.data(),
            c.call.syncOffset, c.call.low.data(), c.call.high.data(), report, c.call.pad);
    const std::string err = GetCapturedStderr();
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(report, kHeader + c.table) << c.name;
    EXPECT_EQ(out, report + c.missing + "Ch 1 (sweep): Return Level = " + c.level + " dB\n")
        << c.name;
    if (c.warning != nullptr) {
      EXPECT_EQ(err, c.warning) << c.name;
    }
  }
}

struct WindowCase {
  const char* name;
  std::int32_t syncOffset;
  std::int64_t examined;
};

// The recording holds 16 samples, 8 of them tone (pad 4). Whatever the lag,
// only pairs whose recorded index lies inside the recording are examined;
// the sanitizer build catches any read outside it.
TEST(Analysis, WindowStaysInsideTheRecording) {
  const std::vector<WindowCase> cases{
      {"on time", 0, 8},           {"late", 3, 8},
      {"late past the end", 6, 6}, {"missing sync pulse", -4 - 3, 5},
      {"far before", -100, 0},     {"far after", 100, 0},
  };
  const std::vector<SampleWord> recorded(16, 10);
  const std::vector<double> track(8, 20.0);
  const std::vector<double> high{1000.0};
  for (const WindowCase& c : cases) {
    const BandLevels levels =
        ComputeBandLevels(16, 1, track.data(), recorded.data(), c.syncOffset, high.data(), 4);
    ASSERT_EQ(levels.bands.size(), 1U);
    EXPECT_EQ(levels.bands[0].count, c.examined) << c.name;
  }
}

struct BandCase {
  const char* name;
  std::vector<double> track;
  std::vector<std::int64_t> counts;  // per band
};

TEST(Analysis, BandAssignment) {
  const std::vector<BandCase> cases{
      {"upper edge stays in its band", {22.0, 22.000001}, {1, 1, 0}},
      {"below the first band goes to it", {5.0, 0.0, 18.0}, {3, 0, 0}},
      {"no upper cut-off", {20.0, 33.0, 5000.0}, {1, 0, 2}},
      {"never moves down", {30.0, 0.0, 20.0}, {0, 0, 3}},
      {"skipped band", {20.0, 30.0}, {1, 0, 1}},
  };
  const std::vector<SampleWord> recorded(4, 7);
  for (const BandCase& c : cases) {
    const auto n = static_cast<std::int32_t>(c.track.size());
    const BandLevels levels =
        ComputeBandLevels(n, 3, c.track.data(), recorded.data(), 0, Call{}.high.data(), 0);
    ASSERT_EQ(levels.bands.size(), 3U);
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(levels.bands[k].count, c.counts[k]) << c.name << ", band " << k + 1;
    }
  }
}

struct CycleCase {
  int samples;
  bool unresolved;
};

// 144 samples of 1000 Hz are exactly 3 cycles at 48000 samples per second.
TEST(Analysis, ThreeCyclesResolveABand) {
  for (const CycleCase& c :
       {CycleCase{143, true}, CycleCase{144, false}, CycleCase{1, true}, CycleCase{5000, false}}) {
    const std::vector<double> track(static_cast<std::size_t>(c.samples), 1000.0);
    const std::vector<SampleWord> recorded(track.size(), 9);
    const std::vector<double> high{2000.0};
    const BandLevels levels =
        ComputeBandLevels(c.samples, 1, track.data(), recorded.data(), 0, high.data(), 0);
    EXPECT_EQ(levels.bands[0].unresolved, c.unresolved) << c.samples;
    EXPECT_EQ(levels.referenceBand, 0) << c.samples;
  }
}

struct WarningCase {
  std::vector<int> cyclesPerBand;  // 0: no samples at all
  std::string names;
};

TEST(Analysis, WarningNamesUnresolvedBandsAsRanges) {
  const std::vector<WarningCase> cases{
      {{1, 1, 1, 5, 1, 5}, "bands 1-3, 5"},
      {{5, 1, 5, 1, 1}, "bands 2, 4-5"},
      {{1, 1, 5}, "bands 1-2"},
      {{0, 1, 5}, "band 2"},
      {{5, 5, 5}, ""},
  };
  for (const WarningCase& c : cases) {
    BandLevels levels;
    for (const int cycles : c.cyclesPerBand) {
      BandResult b;
      b.count = cycles > 0 ? 10 : 0;
      b.cycles = cycles;
      b.unresolved = cycles > 0 && cycles < 3;
      levels.bands.push_back(b);
    }
    levels.referenceBand = 2;
    const std::string warning = UnresolvedWarning(levels);
    if (c.names.empty()) {
      EXPECT_EQ(warning, "");
    } else {
      EXPECT_EQ(warning.find("Warning: " + c.names + " hold"), 0U) << warning;
      EXPECT_EQ(warning.back(), '\n');
      EXPECT_EQ(warning.find('\n'), warning.size() - 1);
    }
  }
}

}  // namespace
