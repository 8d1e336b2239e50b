// The simulated room seen directly by an ALSA client: what its configuration
// accepts and refuses, and what a duplex transfer hears for each key.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "simroom_client.h"

namespace {

std::string alsaErrors;  // what the plugin said through ALSA's error handler

void KeepAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
                   const char* fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  // The analyser does not follow va_start into a callback that ALSA calls.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  alsaErrors += text;
}

// What a device refuses on both streams, and the faults of its configuration
// that the plugin names. What the program makes of a refused stream is the
// end-to-end tests' part.
TEST(Simroom, ConfigurationIsChecked) {
  const struct {
    std::string keys;
    int setup;          // OpenStream's result on each stream
    std::string error;  // what the plugin names
  } rows[] = {
      {"comment \"a room\" hint { show on } clock \"real-time\" cable on seed 3 noise_db -90.5 "
       "gain_db -3 loop_delay 10 acoustic_delay 2 sync_noise_db -80 swap_inputs true "
       "capture_late 480000 slip_at_frame 9 slip_frames -480000 filters {} "
       "correction { 0 { type \"peaking\" freq 1000 q 2 gain_db -6 comment x } }",
       0, ""},
      {"refuse_format \"both\"", -EINVAL, ""},
      {"bogus 1", -EINVAL, "unknown key bogus"},
      {"clock \"slow\"", -EINVAL, "clock must be"},
      {"loop_delay -1", -EINVAL, "loop_delay must be from 0 to 480000"},
      {"loop_delay 480000 acoustic_delay 1", -EINVAL, "loop_delay plus acoustic_delay"},
      {"seed -1", -EINVAL, "seed must be from 0"},
      {"loop_delay \"long\"", -EINVAL, "loop_delay must be an integer"},
      {"gain_db loud", -EINVAL, "gain_db must be a number"},
      {"cable maybe", -EINVAL, "cable must be true or false"},
      {"channels 3", -EINVAL, "channels must be from 1 to 2"},
      {"rate 7999", -EINVAL, "rate must be from 8000"},
      {"period_frames 15", -EINVAL, "period_frames must be from 16"},
      {"capture_late 480001", -EINVAL, "capture_late must be from 0 to 480000"},
      {"xrun_capture_period -1", -EINVAL, "xrun_capture_period must be from 0"},
      {"refuse_format \"sideways\"", -EINVAL, "refuse_format must be"},
      {"fail_hw_params 1", -EINVAL, "fail_hw_params must be a string"},
      {"slip_frames 3", -EINVAL, "slip_at_frame and slip_frames go together"},
      {"slip_at_frame 3", -EINVAL, "slip_at_frame and slip_frames go together"},
      {"slip_at_frame 3 slip_frames 480001", -EINVAL, "slip_frames must be from -480000"},
      {"channels 1 swap_inputs yes", -EINVAL, "swap_inputs needs two channels"},
      {"filters 3", -EINVAL, "filters must be a compound"},
      {"correction { 0 { type \"comb\" freq 100 q 1 } }", -EINVAL, "unknown type \"comb\""},
      {"rate 44100 filters { 0 { type \"lowpass\" freq 22050 q 1 } }", -EINVAL,
       "between 0 and half the rate (22050 Hz)"},
      {"filters { 0 { type \"lowpass\" freq 1000 q 0 } }", -EINVAL, "q must be above 0"},
      {"filters { 0 { type \"notch\" freq 1000 q 1 gain_db 3 } }", -EINVAL, "only for peaking"},
      {"filters { 0 { freq 1000 q 1 } }", -EINVAL, "filter 0 has no type"},
      {"filters { 0 { type \"lowpass\" freq 1000 width 3 } }", -EINVAL, "unknown key width"},
      {"filters { 0 3 }", -EINVAL, "filter 0 must be a compound"},
  };
  snd_lib_error_set_handler(KeepAlsaError);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.keys);
    alsaErrors.clear();
    const AlsaConfig config("pcm.room { type simroom " + row.keys + " }");
    for (const snd_pcm_stream_t stream : {SND_PCM_STREAM_PLAYBACK, SND_PCM_STREAM_CAPTURE}) {
      Pcm pcm;
      snd_pcm_uframes_t period = 1024;
      EXPECT_EQ(OpenStream(config, "room", stream, period, pcm), row.setup);
    }
    EXPECT_NE(alsaErrors.find(row.error), std::string::npos) << alsaErrors;
    EXPECT_EQ(alsaErrors.empty(), row.error.empty()) << alsaErrors;
  }
  snd_lib_error_set_handler(nullptr);
}

constexpr std::size_t kFrames = std::size_t{20} * 1024;
constexpr double kSilent = -200.0;
struct Burst {
  std::size_t frame;
  SampleWord out1;
  SampleWord out2;
} const kBursts[] = {{0, -3000000, 4000000},     {1, 3000000, -4000000},
                     {1023, -3000000, 4000000},  {1024, 3000000, 4000000},
                     {9000, -3000000, -4000000}, {17000, 3000000, 4000000}};

// Where one output's bursts come back on an input: `delay` frames later,
// scaled by `gain` and clipped, those that arrive within [from, to).
struct Return {
  int output = 1;
  std::ptrdiff_t delay = 0;
  double gain = 1.0;
  std::size_t from = 0;
  std::size_t to = kFrames;
};

struct Heard {
  std::vector<Return> returns;
  double noiseDb = kSilent;  // RMS of everything else
  // Real time: the returns may all come up to this many frames early, by as
  // much as capture started after playback.
  std::ptrdiff_t early = 0;
};

void ExpectHeard(const std::vector<SampleWord>& in, Heard heard) {
  if (heard.early > 0 && !heard.returns.empty()) {
    const auto first = std::find_if(in.begin(), in.end(), [](SampleWord x) { return x != 0; });
    const std::ptrdiff_t early = heard.returns[0].delay - (first - in.begin());
    ASSERT_TRUE(early >= 0 && early <= heard.early) << early << " frames early";
    for (Return& r : heard.returns) {
      r.delay -= early;
    }
  }
  const double noise =
      heard.noiseDb <= kSilent ? 0.0 : kFullScale * std::pow(10.0, heard.noiseDb / 20);
  std::vector<double> want(in.size(), 0.0);
  std::vector<bool> burst(in.size(), false);
  for (const Return& r : heard.returns) {
    for (const Burst& b : kBursts) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(b.frame) + r.delay;
      const auto i = static_cast<std::size_t>(at);
      if (at >= 0 && i >= r.from && i < r.to) {
        want[i] += (r.output == 1 ? b.out1 : b.out2) * r.gain;
        burst[i] = true;
      }
    }
  }
  double sum = 0.0;
  double count = 0.0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (burst[i]) {
      const double clipped = std::clamp(std::nearbyint(want[i]), -kFullScale, kFullScale - 1);
      EXPECT_NEAR(in[i], clipped, 1.0 + 6.0 * noise) << "frame " << i;
    } else if (noise > 0.0) {
      sum += static_cast<double>(in[i]) * in[i];
      count += 1.0;
    } else {
      ASSERT_LE(std::abs(in[i]), 1) << "frame " << i;
    }
  }
  if (noise > 0.0) {
    EXPECT_NEAR(10.0 * std::log10(sum / count / (kFullScale * kFullScale)), heard.noiseDb, 0.2);
  }
}

struct DuplexRow {
  std::string keys;
  Heard in1;
  Heard in2;
  snd_pcm_uframes_t period = 1024;
  std::int64_t primes = 3;
  std::int64_t xruns = 0;
  const char* device = "room";
};

void ExpectDuplexRows(const std::vector<DuplexRow>& rows) {
  for (const DuplexRow& row : rows) {
    SCOPED_TRACE(row.keys);
    const AlsaConfig config("pcm.room { type simroom filters {} gain_db 0 noise_db -200 " +
                            row.keys + " }\npcm.viaplug { type plug slave.pcm room }");
    std::vector<SampleWord> out1(kFrames, 0);
    std::vector<SampleWord> out2(kFrames, 0);
    for (const Burst& b : kBursts) {
      out1[b.frame] = b.out1;
      out2[b.frame] = b.out2;
    }
    const auto start = std::chrono::steady_clock::now();
    const DuplexResult r = RunDuplex(config, row.device, out1, out2, row.period, row.primes);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Real time keeps 48000 frames a second: 20 periods take 0.43 s.
    if (row.keys.starts_with("clock realtime")) {
      EXPECT_GT(took.count(), 0.42);
      EXPECT_LT(took.count(), 0.7);
    }
    EXPECT_EQ(r.stats.xruns, row.xruns);
    EXPECT_EQ(r.stats.fatalError, 0);
    EXPECT_EQ(r.drain, 0);
    {
      SCOPED_TRACE("input 1");
      ExpectHeard(r.in1, row.in1);
    }
    {
      SCOPED_TRACE("input 2");
      ExpectHeard(r.in2, row.in2);
    }
  }
}

// The faults that the program's own runs drive (late capture beyond the
// cable, a device gone, underruns) are proved there, on the whole run.
TEST(Simroom, DuplexClientHearsEachKey) {
  ExpectDuplexRows({
      {"loop_delay 240 acoustic_delay 0", {{{1, 240}}}, {{{2, 240}}}, 1024, 1},
      {"loop_delay 300 acoustic_delay 48", {{{1, 348}}}, {{{2, 300}}}},
      {"loop_delay 0 acoustic_delay 0", {{{1, 0}}}, {{{2, 0}}}, 256, 1},
      {"loop_delay 5000 acoustic_delay 1500", {{{1, 6500}}}, {{{2, 5000}}}, 1024, 1},
      {"loop_delay 300 acoustic_delay 48 gain_db 12", {{{1, 348, 4.0}}}, {{{2, 300}}}},
      {"loop_delay 300 acoustic_delay 48 capture_late 91", {{{1, 257}}}, {{{2, 209}}}},
      // The burst returning at 9300 is dropped; the one at 9300 below is heard twice.
      {"loop_delay 300 acoustic_delay 0 slip_at_frame 9300 slip_frames 10",
       {{{1, 300, 1, 0, 9300}, {1, 290, 1, 9300}}},
       {{{2, 300, 1, 0, 9300}, {2, 290, 1, 9300}}}},
      {"loop_delay 300 acoustic_delay 0 slip_at_frame 9305 slip_frames -10",
       {{{1, 300, 1, 0, 9305}, {1, 310, 1, 9305}}},
       {{{2, 300, 1, 0, 9305}, {2, 310, 1, 9305}}}},
      {"loop_delay 300 acoustic_delay 48 noise_db -40 seed 7", {{{1, 348}}, -40}, {{{2, 300}}}},
      {"loop_delay 300 acoustic_delay 48 sync_noise_db -60 cable false", {{{1, 348}}}, {{}, -60}},
      // Through plug: ALSA mixes both outputs into the one, and copies the one input to both.
      {"loop_delay 300 acoustic_delay 48 channels 1",
       {{{1, 348, 0.5}, {2, 348, 0.5}}},
       {{{1, 348, 0.5}, {2, 348, 0.5}}},
       1024,
       3,
       0,
       "viaplug"},
  });
}

// A device that keeps hardware time, with nothing else running beside it.
TEST(Simroom, RealTimeClockKeepsPaceAndUnderrunsWithTooLittleQueued) {
  ExpectDuplexRows({
      {"clock realtime loop_delay 2000 acoustic_delay 0",
       {{{1, 2000}}, kSilent, 1024},
       {{{2, 2000}}, kSilent, 1024}},
      // One period queued is not enough on hardware: each restart underruns at
      // its first boundary, before the cable's return has come in.
      {"clock realtime loop_delay 2000 acoustic_delay 0", {}, {}, 1024, 1, 19},
  });
}

}  // namespace
