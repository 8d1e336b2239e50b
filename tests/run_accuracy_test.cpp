#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "cookbook_biquad.h"
#include "process_runner.h"

// Rooms of known response measured from end to end with every preset: each
// band that the sweep resolves must read the room's magnitude averaged over
// the frequencies the sweep visits in it, relative to the loudest such band.
namespace {

constexpr double kRate = 48000.0;
constexpr int kToneSamples = 480000;  // the default 10-second sweep
constexpr double kMinCycles = 3.0;    // fewer cycles: the band is not resolved
constexpr double kToleranceDb = 0.2;
constexpr double kRoomGainDb = -6.0;
// Sine sweep at half of full scale: its RMS level at the microphone.
constexpr double kSweepRmsDb = -9.03 + kRoomGainDb;

struct RoomCase {
  const char* name;
  std::vector<FilterSpec> filters;
  bool noisy;
  int acousticDelay;      // loudspeaker to microphone, in samples
  bool sharpDirectSound;  // the room's filters do not move the impulse response's peak
};

// Names the room in test output instead of dumping its bytes.
void PrintTo(const RoomCase& room, std::ostream* os) {
  *os << room.name;
}

struct ExpectedBand {
  double meanMagnitude = 0.0;
  double cycles = 0.0;
  bool visited = false;
};

// Walks the sweep's track sample by sample and files each frequency into
// the bands the way the analysis does, by upper edges.
std::vector<ExpectedBand> Expect(const std::vector<BandLine>& bands,
                                 const std::vector<FilterSpec>& filters) {
  std::vector<Biquad> room;
  for (const FilterSpec& f : filters) room.push_back(Design(f, kRate));
  const double start = bands.front().low;
  const double end = bands.back().high;
  const double step = (end - start) / kToneSamples;
  std::vector<ExpectedBand> expected(bands.size());
  std::vector<double> sums(bands.size(), 0.0);
  std::vector<long> counts(bands.size(), 0);
  std::size_t k = 0;
  for (int j = 0; j < kToneSamples; ++j) {
    const double f = start + step * j;
    while (k + 1 < bands.size() && f > bands[k].high) ++k;
    double magnitude = 1.0;
    for (const Biquad& h : room) magnitude *= std::abs(h.Response(f));
    sums[k] += magnitude;
    ++counts[k];
    expected[k].cycles += f / kRate;
  }
  for (std::size_t b = 0; b < bands.size(); ++b) {
    expected[b].visited = counts[b] > 0;
    if (counts[b] > 0) expected[b].meanMagnitude = sums[b] / static_cast<double>(counts[b]);
  }
  return expected;
}

class RoomAccuracy : public testing::TestWithParam<RoomCase> {};

TEST_P(RoomAccuracy, ResolvedBandsReadTheRoomWithEveryPreset) {
  const RoomCase& c = GetParam();
  Room room;
  room.gainDb = kRoomGainDb;
  room.noiseDb = c.noisy ? kSweepRmsDb - 30.0 : -200.0;
  room.filters = FilterEntries(c.filters);
  room.acousticDelay = c.acousticDelay;
  TempDir work;
  std::string input = "c\nroom\n";
  for (int preset = 1; preset <= 5; ++preset) input += "p\n" + std::to_string(preset) + "\nr\nc\n";
  const ProcessResult r = RunTonvale(room.Entry("room"), input + "x\n", work.path());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<PrintedReport> reports = FindReports(r.out);
  ASSERT_EQ(reports.size(), 5U) << r.out;
  // Every run finds the time of flight: to the sample for the full-range
  // presets (1 and 2) where the room's filters leave the direct sound's peak
  // where it is; a band-limited sweep blurs the peak over some samples.
  int preset = 0;
  for (std::size_t at = r.err.find("Microphone about"); at != std::string::npos;
       at = r.err.find("Microphone about", at + 1), ++preset) {
    int samples = -1;
    ASSERT_EQ(std::sscanf(r.err.c_str() + r.err.find('(', at), "(%*f ms, %d samples)", &samples),
              1);
    EXPECT_NEAR(samples, c.acousticDelay, preset < 2 && c.sharpDirectSound ? 1 : 30)
        << "preset " << preset + 1;
  }
  EXPECT_EQ(preset, 5) << r.err;

  for (std::size_t p = 0; p < reports.size(); ++p) {
    const std::vector<BandLine>& bands = reports[p].bands;
    ASSERT_FALSE(bands.empty());
    const std::vector<ExpectedBand> expected = Expect(bands, c.filters);
    double reference = 0.0;
    for (const ExpectedBand& e : expected) {
      if (e.cycles >= kMinCycles) reference = std::max(reference, e.meanMagnitude);
    }
    ASSERT_GT(reference, 0.0);
    int compared = 0;
    for (std::size_t b = 0; b < bands.size(); ++b) {
      if (expected[b].cycles < kMinCycles) continue;
      const double want = 20.0 * std::log10(expected[b].meanMagnitude / reference);
      // Noise 30 dB below the sweep lifts the bands the room has cut far
      // down; those say nothing about the method.
      if (c.noisy && want < -15.0) continue;
      ++compared;
      EXPECT_NEAR(bands[b].level, want, kToleranceDb)
          << "preset " << p + 1 << ", band " << bands[b].number << " (" << bands[b].low << "-"
          << bands[b].high << " Hz)";
    }
    EXPECT_GE(compared, 3) << "preset " << p + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, RoomAccuracy,
    testing::Values(RoomCase{"Flat", {}, false, 0, true}, RoomCase{"FlatNoisy", {}, true, 48, true},
                    RoomCase{"LowPass", {{"lowpass", 800.0, 0.707}}, false, 144, false},
                    RoomCase{"LowPassNoisy", {{"lowpass", 800.0, 0.707}}, true, 432, false},
                    RoomCase{"HighPass", {{"highpass", 120.0, 0.707}}, false, 432, false},
                    RoomCase{"HighPassNoisy", {{"highpass", 120.0, 0.707}}, true, 0, false},
                    RoomCase{"Peaking", {{"peaking", 400.0, 1.5, 6.0}}, false, 4800, true},
                    RoomCase{"PeakingNoisy", {{"peaking", 400.0, 1.5, 6.0}}, true, 144, true},
                    RoomCase{"Notch", {{"notch", 2000.0, 2.0}}, false, 432, true},
                    RoomCase{"NotchNoisy", {{"notch", 2000.0, 2.0}}, true, 4800, true}),
    [](const testing::TestParamInfo<RoomCase>& param) { return param.param.name; });

}  // namespace
