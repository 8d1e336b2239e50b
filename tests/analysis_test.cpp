#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/band_analysis.h"
#include "analysis/levels.h"

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

// What Analyze printed, and where.
struct Printed {
  std::string out;
  std::string err;
};

struct Call {
  std::int32_t sampleCount;
  std::int32_t bandCount;
  std::vector<double> track;
  std::vector<SampleWord> recorded;
  std::int32_t syncOffset;
  std::vector<double> low;
  std::vector<double> high;
  std::int32_t pad;
};

Printed RunAnalyze(const Call& c, std::string& report) {
  CaptureStdout();
  CaptureStderr();
  Analyze(c.sampleCount, c.bandCount, c.track.data(), c.recorded.data(), c.syncOffset, c.low.data(),
          c.high.data(), report, c.pad);
  Printed p;
  p.err = GetCapturedStderr();
  p.out = GetCapturedStdout();
  return p;
}

const std::vector<double> kLow{18, 22, 27};
const std::vector<double> kHigh{22, 27, 33};
const std::string kHeader = "Results:\nBand\tRange (Hz)\tdB\n";

TEST(Analysis, WorkedExample) {
  const Call c{
      8,     3, {18, 20, 22, 23, 27, 30, 40, 0}, {100, -300, 200, 50, -50, 10, 30, 20}, 0, kLow,
      kHigh, 0};
  std::string report = "earlier report";
  const Printed p = RunAnalyze(c, report);
  const std::string table = kHeader + "1\t18\t22\t0.0\n2\t22\t27\t-12.0\n3\t27\t33\t-20.0\n";
  EXPECT_EQ(report, table);
  EXPECT_EQ(p.out, table + "Ch 1 (sweep): Return Level = -88.9 dB\n");
  // A few samples of 20 Hz are a tiny fraction of a cycle: all three bands
  // are unresolved and the reference is the loudest of them.
  EXPECT_EQ(p.err,
            "Warning: bands 1-3 hold fewer than 3 cycles of their tone, so their levels are "
            "unreliable and, as no other band has a level, the 0 dB reference is among them. Use "
            "a longer sweep or a narrower frequency range.\n");
}

// The worked example again, placed in a longer recording: silence of pad
// samples before and after the tone, a lag, and loud samples outside the
// tone's recorded stretch that the analysis must not examine.
TEST(Analysis, PairsOnlyTheRecordedTone) {
  const std::int32_t pad = 3;
  const std::int32_t lag = 2;
  std::vector<SampleWord> recorded(8 + 2 * pad, 8000000);
  const std::vector<SampleWord> tone{100, -300, 200, 50, -50, 10, 30, 20};
  for (std::size_t i = 0; i < tone.size(); ++i) {
    recorded[pad + lag + i] = tone[i];
  }
  std::vector<double> track{18, 20, 22, 23, 27, 30, 40, 0};
  track.resize(recorded.size(), 0.0);
  const Call c{
      static_cast<std::int32_t>(recorded.size()), 3, track, recorded, lag, kLow, kHigh, pad};
  std::string report;
  const Printed p = RunAnalyze(c, report);
  EXPECT_EQ(report, kHeader + "1\t18\t22\t0.0\n2\t22\t27\t-12.0\n3\t27\t33\t-20.0\n");
  EXPECT_EQ(p.out, report + "Ch 1 (sweep): Return Level = -88.9 dB\n");
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

TEST(Analysis, MissingBandAndReturnLevel) {
  const Call c{3, 3, {18, 30, 30}, {10, 20, 40}, 0, kLow, kHigh, 0};
  std::string report;
  const Printed p = RunAnalyze(c, report);
  EXPECT_EQ(report, kHeader + "1\t18\t22\t-9.5\n2\t22\t27\t-144.0\n3\t27\t33\t0.0\n");
  EXPECT_EQ(p.out, report + "Band 2 is missing data\nCh 1 (sweep): Return Level = -106.4 dB\n");
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
        ComputeBandLevels(n, 3, c.track.data(), recorded.data(), 0, kHigh.data(), 0);
    ASSERT_EQ(levels.bands.size(), 3U);
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(levels.bands[k].count, c.counts[k]) << c.name << ", band " << k + 1;
    }
  }
}

struct ReturnCase {
  std::vector<SampleWord> recorded;
  std::string bandLine;
  std::string level;
  std::string missing;
};

TEST(Analysis, SingleBandAndReturnLevels) {
  const std::vector<ReturnCase> cases{
      {{5, -8388608, 7}, "1\t18\t22\t0.0\n", "0.0", ""},
      {{4194304, -3}, "1\t18\t22\t0.0\n", "-6.0", ""},
      {{0, 0, 0}, "1\t18\t22\t-144.0\n", "-inf", ""},
      {{}, "1\t18\t22\t-144.0\n", "-inf", "Band 1 is missing data\n"},
  };
  for (const ReturnCase& c : cases) {
    const auto n = static_cast<std::int32_t>(c.recorded.size());
    const Call call{n,     1, std::vector<double>(c.recorded.size() + 1, 20.0), c.recorded, 0, kLow,
                    kHigh, 0};
    std::string report;
    const Printed p = RunAnalyze(call, report);
    EXPECT_EQ(report, kHeader + c.bandLine) << c.level;
    EXPECT_EQ(p.out, report + c.missing + "Ch 1 (sweep): Return Level = " + c.level + " dB\n");
  }
}

TEST(Analysis, NoBandsGivesOnlyTheHeader) {
  for (const std::int32_t bandCount : {0, -1}) {
    const Call c{3, bandCount, {18, 20, 22}, {100, 200, 300}, 0, kLow, kHigh, 0};
    std::string report = "stale";
    const Printed p = RunAnalyze(c, report);
    EXPECT_EQ(report, kHeader);
    EXPECT_EQ(p.out, kHeader + "Ch 1 (sweep): Return Level = -inf dB\n");
    EXPECT_EQ(p.err, "");
  }
}

TEST(Analysis, NothingExaminedMarksEveryBandMissing) {
  const Call c{3, 3, {18, 20, 22}, {100, 200, 300}, 3, kLow, kHigh, 0};
  std::string report;
  const Printed p = RunAnalyze(c, report);
  EXPECT_EQ(report, kHeader + "1\t18\t22\t-144.0\n2\t22\t27\t-144.0\n3\t27\t33\t-144.0\n");
  EXPECT_EQ(p.out, report +
                       "Band 1 is missing data\nBand 2 is missing data\nBand 3 is missing "
                       "data\nCh 1 (sweep): Return Level = -inf dB\n");
  EXPECT_EQ(p.err, "");
}

// Three bands of real tone: 100 samples of 20 Hz (a twentieth of a cycle,
// and the loudest), then 200 samples each of 1000 Hz and 2000 Hz.
Call ThinLowBand() {
  Call c{500, 3, {}, {}, 0, {18, 22, 1000}, {22, 1000, 2000}, 0};
  for (int i = 0; i < 500; ++i) {
    const bool first = i < 100;
    const bool second = !first && i < 300;
    c.track.push_back(first ? 20.0 : second ? 1000.0 : 2000.0);
    c.recorded.push_back(first ? 1000 : second ? -500 : 250);
  }
  return c;
}

TEST(Analysis, UnresolvedBandDoesNotSetTheReference) {
  std::string report;
  const Printed p = RunAnalyze(ThinLowBand(), report);
  EXPECT_EQ(report, kHeader + "1\t18\t22\t6.0\n2\t22\t1000\t0.0\n3\t1000\t2000\t-6.0\n");
  EXPECT_EQ(p.out, report + "Ch 1 (sweep): Return Level = -78.5 dB\n");
  EXPECT_EQ(p.err,
            "Warning: band 1 holds fewer than 3 cycles of its tone, so its level is unreliable "
            "and left out of the choice of the 0 dB reference. Use a longer sweep or a narrower "
            "frequency range.\n");
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

TEST(Analysis, ReportWithTheLargestBandPlanIsWhole) {
  constexpr std::int32_t kBands = 1024;
  std::vector<double> low(kBands);
  std::vector<double> high(kBands);
  for (std::int32_t k = 0; k < kBands; ++k) {
    low[static_cast<std::size_t>(k)] = 2147483000.0 + k;
    high[static_cast<std::size_t>(k)] = 2147483001.0 + k;
  }
  std::vector<double> track(kBands);
  std::vector<SampleWord> recorded(kBands);
  for (std::int32_t k = 0; k < kBands; ++k) {
    track[static_cast<std::size_t>(k)] = high[static_cast<std::size_t>(k)];
    recorded[static_cast<std::size_t>(k)] = k == 0 ? 8388607 : 1;
  }
  std::string report;
  const Call c{kBands, kBands, track, recorded, 0, low, high, 0};
  const Printed p = RunAnalyze(c, report);
  EXPECT_GT(report.size(), 4096U);
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), kBands + 2);
  EXPECT_NE(report.find("\n1\t2147483000\t2147483001\t0.0\n"), std::string::npos);
  EXPECT_TRUE(report.ends_with("\n1024\t2147484023\t2147484024\t-138.5\n"));
  EXPECT_EQ(p.out.substr(0, report.size()), report);
}

TEST(Analysis, SecondReportReplacesTheFirst) {
  std::string report;
  RunAnalyze(Call{3, 3, {18, 30, 30}, {10, 20, 40}, 0, kLow, kHigh, 0}, report);
  RunAnalyze(Call{1, 1, {18}, {10}, 0, kLow, kHigh, 0}, report);
  EXPECT_EQ(report, kHeader + "1\t18\t22\t0.0\n");
}

}  // namespace
