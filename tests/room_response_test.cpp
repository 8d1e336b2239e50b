#include "analysis/room_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/fine_response.h"
#include "analysis/time_of_flight.h"
#include "cookbook_biquad.h"
#include "signals/sweep.h"

// Rooms simulated from the cookbook filters: the 2 s sweep through the
// filters, late by the delay, with an echo or noise, must give back the delay
// and the filters' own response.
namespace {

constexpr std::int32_t kPad = 24000;
constexpr std::int32_t kTotal = 2 * 48000 + 2 * kPad;
constexpr double kQuiet = 200.0;  // noise far below the recording's rounding
const SweepRange kRange{20.0, 20000.0, 48000.0};

struct Room {
  const char* name;
  std::vector<FilterSpec> filters;
  std::int32_t delay;   // below 0: the microphone hears the noise alone
  double echoGain;      // a reflection 300 samples after the direct sound
  double noiseBelowDb;  // Gaussian noise this far below the sweep
  double toleranceDb;   // 0: the echo's comb makes the level no yardstick
};

TEST(RoomResponse, SimulatedRoomsReadBack) {
  std::vector<SampleWord> played(kTotal);
  std::vector<double> track(kTotal);
  MakeSweep(48000, played.data(), track.data(), kRange.startHz, kRange.endHz, kTotal, 0.5, kPad);
  const std::vector<FilterSpec> bandPass{{"highpass", 100.0, 0.707}, {"lowpass", 3000.0, 0.707}};
  const std::vector<Room> rooms{
      {"flat, at the loudspeaker", {}, 0, 0.0, kQuiet, 0.25},
      {"peaking 1 kHz", {{"peaking", 1000.0, 1.0, 6.0}}, 48, 0.0, kQuiet, 0.25},
      {"band-pass 100 Hz to 3 kHz", bandPass, 144, 0.0, kQuiet, 0.25},
      {"echo louder than the direct sound", {}, 432, 1.6, kQuiet, 0.0},
      {"peaking 300 Hz in noise", {{"peaking", 300.0, 2.0, -6.0}}, 4800, 0.0, 30.0, 1.0},
      {"noise alone", {}, -1, 0.0, 30.0, 0.0},
  };
  for (const Room& room : rooms) {
    SCOPED_TRACE(room.name);
    const std::vector<double> direct = FilterThrough(room.filters, played);
    std::mt19937 generator(7);
    std::normal_distribution<double> noise(
        0.0, std::pow(10.0, -room.noiseBelowDb / 20.0) * 0.5 * kFullScale / std::numbers::sqrt2);
    std::vector<SampleWord> recorded(kTotal);
    for (std::int32_t i = 0; i < kTotal; ++i) {
      const auto at = [&](std::int32_t j) { return j >= 0 ? direct[std::size_t(j)] : 0.0; };
      const double heard =
          room.delay < 0 ? 0.0 : at(i - room.delay) + room.echoGain * at(i - room.delay - 300);
      recorded[std::size_t(i)] = static_cast<SampleWord>(std::lround(heard + noise(generator)));
    }
    const RoomResponse response = *MeasureRoomResponse(played, recorded, kRange);
    const std::optional<std::int32_t> flight = FindTimeOfFlight(response.impulse, kRange);
    ASSERT_EQ(flight.has_value(), room.delay >= 0);
    if (!flight) {
      continue;
    }

    // The direct sound starts when it arrives, however late the filters make it peak.
    EXPECT_LE(std::abs(*flight - room.delay), 1);

    // Asked for more than the rate allows, it stops at 24 kHz: 48 points an octave from 20 Hz.
    const FineResponse fine =
        ComputeFineResponse(response, {kRange.startHz, 30000.0, kRange.rate}, *flight);
    ASSERT_EQ(fine.size(), 491U);
    const double loudestDb = std::ranges::max(fine, {}, &ResponsePoint::db).db;
    for (const ResponsePoint& p : fine) {
      // Whatever lag the filters' peak adds to the flight comes out of the phase too.
      const std::complex<double> truth =
          std::polar(1.0, 2.0 * std::numbers::pi * p.hz * (*flight - room.delay) / 48000.0) *
          CookbookResponse(room.filters, p.hz);
      const double phaseError =
          std::remainder(p.phaseDeg - std::arg(truth) * 180.0 / std::numbers::pi, 360.0);
      if (room.toleranceDb > 0.0 && p.hz >= 2.0 * kRange.startHz && p.hz <= 0.8 * kRange.endHz) {
        EXPECT_NEAR(p.db, 20.0 * std::log10(std::abs(truth)), room.toleranceDb) << p.hz << " Hz";
        EXPECT_TRUE(p.db < loudestDb - 20.0 || std::abs(phaseError) < 5.0) << p.hz << " Hz";
      }
    }
  }
}

TEST(RoomResponse, FlightInTheRunsUnits) {
  const FlightSummary summary = SummariseFlight(409, 48000.0);  // the run's own example
  EXPECT_NEAR(summary.milliseconds, 8.5208, 1e-4);
  EXPECT_NEAR(summary.metres, 2.9227, 1e-4);
}

}  // namespace
