// The simulated room, driven in-process by a duplex ALSA client on its fast
// clock: delays, gains, filters, noise and the faults it can be told to show.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "cookbook_biquad.h"
#include "simroom_client.h"

namespace {

using Samples = std::vector<std::int32_t>;

Samples Impulses(std::size_t frames, const std::vector<std::size_t>& at, std::int32_t height) {
  Samples s(frames, 0);
  for (std::size_t i : at) {
    s[i] = height;
  }
  return s;
}

std::vector<std::size_t> NonZero(const Samples& s) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != 0) {
      at.push_back(i);
    }
  }
  return at;
}

Samples Tone(std::size_t frames, double hz, double amplitude) {
  Samples s(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    s[i] = static_cast<std::int32_t>(
        amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / 48000.0));
  }
  return s;
}

// Amplitude of the hz component over [from, from + count), by projection on
// sine and cosine (the window holds whole cycles).
double ToneAmplitude(const Samples& s, double hz, std::size_t from, std::size_t count) {
  double c = 0.0;
  double q = 0.0;
  for (std::size_t i = from; i < from + count; ++i) {
    const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / 48000.0;
    c += s[i] * std::cos(phase);
    q += s[i] * std::sin(phase);
  }
  return 2.0 * std::hypot(c, q) / static_cast<double>(count);
}

double RmsDb(const Samples& s, std::size_t from) {
  double sum = 0.0;
  for (std::size_t i = from; i < s.size(); ++i) {
    sum += static_cast<double>(s[i]) * s[i];
  }
  return 20.0 * std::log10(std::sqrt(sum / static_cast<double>(s.size() - from)) / kFullScale);
}

const Samples kSilence(48000, 0);

TEST(SimroomDevice, BurstsReturnExactlyTheConfiguredDelaysLater) {
  struct Case {
    std::size_t loopDelay;
    std::size_t acousticDelay;
    unsigned long period;
    unsigned primes;
  } cases[] = {{240, 0, 1024, 1},
               {300, 48, 1024, 3},
               {0, 0, 256, 1},
               {1055, 7, 940, 2},
               {5000, 1500, 1024, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("loop_delay " + std::to_string(c.loopDelay) + " acoustic_delay " +
                 std::to_string(c.acousticDelay) + " period " + std::to_string(c.period));
    const AlsaConfig config(
        "pcm.room { type simroom filters {} gain_db 0 noise_db -200 loop_delay " +
        std::to_string(c.loopDelay) + " acoustic_delay " + std::to_string(c.acousticDelay) + " }");
    const std::vector<std::size_t> at = {0, 1, 1023, 1024, 20000, 30001};
    const Samples out2 = Impulses(40000, at, 4000000);
    const Samples out1 = Impulses(40000, at, -3000000);
    const DuplexResult r =
        RunDuplex(config, "room", out1, out2, {.period = c.period, .primePeriods = c.primes});
    ASSERT_EQ(r.playback.hwParams, 0);
    std::vector<std::size_t> want2;
    std::vector<std::size_t> want1;
    const std::size_t recorded = r.in2.size() / c.period * c.period;
    for (std::size_t i : at) {
      if (i + c.loopDelay < recorded) {
        want2.push_back(i + c.loopDelay);
      }
      if (i + c.loopDelay + c.acousticDelay < recorded) {
        want1.push_back(i + c.loopDelay + c.acousticDelay);
      }
    }
    EXPECT_EQ(NonZero(r.in2), want2);
    EXPECT_EQ(NonZero(r.in1), want1);
    for (std::size_t i : want2) {
      EXPECT_EQ(r.in2[i], 4000000);
    }
    for (std::size_t i : want1) {
      EXPECT_EQ(r.in1[i], -3000000);
    }
  }
}

TEST(SimroomDevice, FlatRoomScalesOutputOneAndCableReturnsOutputTwoUnscaled) {
  Samples out1(24000);
  Samples out2(24000);
  for (std::size_t i = 0; i < out1.size(); ++i) {
    out1[i] = static_cast<std::int32_t>((i * 7919 % 16000001)) - 8000000;
    out2[i] = static_cast<std::int32_t>((i * 104729 % 16000001)) - 8000000;
  }
  for (const double gainDb : {0.0, -6.0, -20.0, 3.5}) {
    SCOPED_TRACE("gain_db " + std::to_string(gainDb));
    const AlsaConfig config(
        "pcm.room { type simroom filters {} noise_db -200 loop_delay 100 acoustic_delay 0 "
        "gain_db " +
        std::to_string(gainDb) + " }");
    const DuplexResult r = RunDuplex(config, "room", out1, out2);
    const double gain = std::pow(10.0, gainDb / 20.0);
    int worst = 0;
    for (std::size_t k = 100; k < 23552; ++k) {
      const double want = std::clamp(out1[k - 100] * gain, -kFullScale, kFullScale - 1);
      worst = std::max(worst, static_cast<int>(std::lround(std::abs(r.in1[k] - want))));
      ASSERT_EQ(r.in2[k], out2[k - 100]) << "frame " << k;
    }
    EXPECT_LE(worst, 1) << "largest error in 24-bit steps";
  }
}

TEST(SimroomDevice, UnpluggedCableReturnsSilenceOnInputTwo) {
  const AlsaConfig config("pcm.room { type simroom cable false noise_db -200 }");
  const DuplexResult r =
      RunDuplex(config, "room", Tone(48000, 1000, 1e6), Impulses(48000, {100, 5000}, 4000000));
  EXPECT_TRUE(NonZero(r.in2).empty());
  EXPECT_FALSE(NonZero(r.in1).empty());
}

TEST(SimroomDevice, LoudRoomClipsAtFullScale) {
  const AlsaConfig config("pcm.room { type simroom filters {} gain_db 12 noise_db -200 }");
  const DuplexResult r = RunDuplex(config, "room", Tone(48000, 500, 6e6), kSilence);
  EXPECT_EQ(*std::max_element(r.in1.begin(), r.in1.end()), 8388607);
  EXPECT_EQ(*std::min_element(r.in1.begin(), r.in1.end()), -8388608);
}

TEST(SimroomDevice, FilterGainsMatchTheirDesignWithinATenthOfADecibel) {
  const std::vector<std::pair<FilterSpec, std::vector<double>>> cases = {
      {{"lowpass", 2000, 0.707}, {200, 1000, 2000, 4000, 10000}},
      {{"highpass", 500, 0.707}, {100, 250, 500, 2000}},
      {{"peaking", 1000, 2, 6}, {250, 900, 1000, 1200, 5000}},
      {{"peaking", 3000, 1, -9}, {1000, 3000, 8000}},
      {{"notch", 3000, 4}, {1000, 2600, 2900, 3500}},
  };
  double worst = 0.0;
  for (const auto& [filter, tones] : cases) {
    const AlsaConfig config("pcm.room { type simroom noise_db -200 gain_db 0 filters { " +
                            FilterEntries({filter}) + " } }");
    for (const double hz : tones) {
      SCOPED_TRACE(filter.type + " at " + std::to_string(filter.freq) + " Hz, tone " +
                   std::to_string(hz));
      const DuplexResult r = RunDuplex(config, "room", Tone(48000, hz, 4e6), kSilence);
      // Past the filter's settling, a whole number of cycles of every tone.
      const double measured = 20.0 * std::log10(ToneAmplitude(r.in1, hz, 10000, 24000) / 4e6);
      const double design = 20.0 * std::log10(Design(filter).Magnitude(hz));
      EXPECT_NEAR(measured, design, 0.1);
      worst = std::max(worst, std::abs(measured - design));
    }
  }
  std::printf("filter gains: largest error %.5f dB against the design\n", worst);
}

TEST(SimroomDevice, NoiseHasTheConfiguredLevelAndRepeatsWithItsSeed) {
  for (const double level : {-40.0, -70.0, -100.0}) {
    SCOPED_TRACE("noise_db " + std::to_string(level));
    const AlsaConfig config("pcm.room { type simroom seed 7 noise_db " + std::to_string(level) +
                            " }");
    const DuplexResult r = RunDuplex(config, "room", kSilence, kSilence);
    EXPECT_NEAR(RmsDb(r.in1, 0), level, 0.1);
    EXPECT_TRUE(NonZero(r.in2).empty()) << "the cable carries no noise";
    EXPECT_EQ(RunDuplex(config, "room", kSilence, kSilence).in1, r.in1);
  }
  const AlsaConfig seven("pcm.room { type simroom seed 7 noise_db -60 }");
  const AlsaConfig eight("pcm.room { type simroom seed 8 noise_db -60 }");
  EXPECT_NE(RunDuplex(seven, "room", kSilence, kSilence).in1,
            RunDuplex(eight, "room", kSilence, kSilence).in1);
  const AlsaConfig off("pcm.room { type simroom noise_db -150 }");
  EXPECT_TRUE(NonZero(RunDuplex(off, "room", kSilence, kSilence).in1).empty());
}

TEST(SimroomDevice, SetupFaultsShowAsTheErrorsAlsaClientsSee) {
  const StreamSetup ok{.period = 1024, .rate = 48000, .channels = 2};
  // Refused, the format stays open, and the device falls back on 16 bits.
  const StreamSetup refused{.format = -EINVAL, .period = 1024, .rate = 48000, .channels = 2};
  const struct Case {
    std::string keys;
    StreamSetup playback;
    StreamSetup capture;
  } cases[] = {
      {"", ok, ok},
      {"fail_open \"playback\"", {.open = -EBUSY}, {}},
      {"fail_open \"capture\"", ok, {.open = -EBUSY}},
      {"refuse_format \"playback\"", refused, ok},
      {"refuse_format \"both\"", refused, refused},
      {"fail_hw_params \"playback\"", {.hwParams = -EIO}, {}},
      {"fail_hw_params \"capture\"", ok, {.hwParams = -EIO}},
      {"period_frames 940",
       {.period = 940, .rate = 48000, .channels = 2},
       {.period = 940, .rate = 48000, .channels = 2}},
      {"rate 44100",
       {.period = 1024, .rate = 44100, .channels = 2},
       {.period = 1024, .rate = 44100, .channels = 2}},
      {"channels 1",
       {.period = 1024, .rate = 48000, .channels = 1},
       {.period = 1024, .rate = 48000, .channels = 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    const AlsaConfig config("pcm.room { type simroom " + c.keys + " }");
    Pcm play;
    Pcm rec;
    const StreamSetup p = OpenStream(config, "room", SND_PCM_STREAM_PLAYBACK, 1024, play);
    EXPECT_EQ(p, c.playback);
    if (p.open == 0 && p.hwParams == 0) {
      EXPECT_EQ(OpenStream(config, "room", SND_PCM_STREAM_CAPTURE, p.period, rec), c.capture);
    }
  }
}

TEST(SimroomDevice, ForcedXrunsFailTheirPeriodWithEpipeAndRecoveryKeepsTheDelay) {
  struct Case {
    std::string keys;
    std::size_t failedWrite;  // index into writes, or npos
    std::size_t failedRead;
  } cases[] = {
      {"xrun_playback_period 10", 10, std::string::npos},
      {"xrun_capture_period 7", std::string::npos, 7},
      {"xrun_playback_period 0", 0, std::string::npos},
  };
  const std::vector<std::size_t> bursts = {500, 4500, 9000, 20000, 30500, 39000};
  const Samples out2 = Impulses(40960, bursts, 4000000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    const AlsaConfig config("pcm.room { type simroom loop_delay 240 " + c.keys + " }");
    const DuplexResult r =
        RunDuplex(config, "room", Samples(out2.size(), 0), out2, {.primePeriods = 3});
    for (std::size_t i = 0; i < r.writes.size(); ++i) {
      EXPECT_EQ(r.writes[i], i == c.failedWrite ? -EPIPE : 1024) << "write " << i;
    }
    for (std::size_t i = 0; i < r.reads.size(); ++i) {
      EXPECT_EQ(r.reads[i], i == c.failedRead ? -EPIPE : 1024) << "read " << i;
    }
    // Bursts well clear of the restart come back exactly loop_delay later.
    for (std::size_t at : {20000UL, 30500UL}) {
      EXPECT_EQ(r.in2[at + 240], 4000000) << at;
    }
  }
}

TEST(SimroomDevice, GoneDeviceReportsEnodevOnBothStreamsFromItsPeriodOn) {
  const AlsaConfig config("pcm.room { type simroom gone_after_period 5 }");
  const DuplexResult r = RunDuplex(config, "room", kSilence, kSilence);
  ASSERT_EQ(r.writes.size(), 6U);
  EXPECT_EQ(r.writes[5], -ENODEV);
  EXPECT_EQ(r.reads.back(), -ENODEV);
  EXPECT_EQ(r.reads.size(), 6U);
  EXPECT_EQ(r.prepareAfterError, -ENODEV);
}

TEST(SimroomDevice, BadConfigurationKeysRefuseToOpen) {
  const char* entries[] = {
      "bogus 1",
      "clock \"slow\"",
      "loop_delay -1",
      "loop_delay \"long\"",
      "gain_db loud",
      "channels 3",
      "refuse_format \"sideways\"",
      "fail_open \"nowhere\"",
      "filters { 0 { type \"comb\" freq 100 q 1 } }",
      "filters { 0 { type \"lowpass\" freq 30000 q 1 } }",
      "filters { 0 { type \"lowpass\" freq 1000 q 0 } }",
      "filters { 0 { type \"notch\" freq 1000 q 1 gain_db 3 } }",
      "filters { 0 { freq 1000 q 1 } }",
      "filters { 0 { type \"lowpass\" freq 1000 width 3 } }",
  };
  for (const char* keys : entries) {
    SCOPED_TRACE(keys);
    const AlsaConfig config(std::string("pcm.room { type simroom ") + keys + " }");
    Pcm pcm;
    EXPECT_EQ(snd_pcm_open_lconf(&pcm.handle, "room", SND_PCM_STREAM_PLAYBACK, 0, config.get()),
              -EINVAL);
  }
  const AlsaConfig fine(
      "pcm.room { type simroom comment \"a room\" hint { show on } clock realtime cable on "
      "filters {} seed 3 noise_db -90.5 gain_db -3 loop_delay 10 acoustic_delay 2 }");
  Pcm pcm;
  EXPECT_EQ(snd_pcm_open_lconf(&pcm.handle, "room", SND_PCM_STREAM_PLAYBACK, 0, fine.get()), 0);
}

}  // namespace
