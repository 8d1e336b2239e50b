// The simulated room on its real-time clock: it keeps 48000 frames per
// second, blocks like hardware, and underruns and overruns like hardware.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "simroom_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

const char* const kRoom = "pcm.room { type simroom clock realtime loop_delay 240 }";

TEST(SimroomRealtime, DuplexRunKeeps48000FramesPerSecondWithoutXrunsAndAFixedDelay) {
  // A cable long enough that the return stays positive however late the
  // scheduler lets capture start after the first writes.
  constexpr std::ptrdiff_t kLoopDelay = 2000;
  const AlsaConfig config("pcm.room { type simroom clock realtime loop_delay 2000 }");
  constexpr std::size_t kFrames = 235 * 1024;  // just over 5 s
  std::vector<std::size_t> bursts;
  std::vector<std::int32_t> out2(kFrames, 0);
  for (std::size_t at = 1000; at + 2000 < kFrames; at += 9000) {
    bursts.push_back(at);
    out2[at] = 4000000;
  }
  const std::vector<std::int32_t> out1(kFrames, 0);
  const DuplexResult r = RunDuplex(config, "room", out1, out2, {.primePeriods = 3});
  const double elapsed = r.transferSeconds;

  ASSERT_EQ(r.reads.size(), kFrames / 1024);
  for (long n : r.writes) {
    ASSERT_EQ(n, 1024) << "no underrun with three periods queued";
  }
  for (long n : r.reads) {
    ASSERT_EQ(n, 1024) << "no overrun";
  }
  const double rate = static_cast<double>(kFrames) / elapsed;
  std::printf("real-time clock: %zu frames in %.4f s = %.1f frames/s\n", kFrames, elapsed, rate);
  EXPECT_NEAR(rate, 48000.0, 48000.0 * 0.005);

  // Every burst comes back after the same delay: the cable's, less the frames
  // between the starts of the two streams (capture starts after three writes).
  std::vector<std::size_t> heard;
  for (std::size_t i = 0; i < kFrames; ++i) {
    if (r.in2[i] != 0) {
      heard.push_back(i);
    }
  }
  ASSERT_EQ(heard.size(), bursts.size());
  const auto delay = static_cast<std::ptrdiff_t>(heard[0]) - static_cast<std::ptrdiff_t>(bursts[0]);
  std::printf("real-time loop-back delay: %td frames (loop_delay %td)\n", delay, kLoopDelay);
  EXPECT_LE(delay, kLoopDelay);
  EXPECT_GT(delay, kLoopDelay - 1024) << "capture started more than a period after playback";
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    EXPECT_EQ(static_cast<std::ptrdiff_t>(heard[i]) - static_cast<std::ptrdiff_t>(bursts[i]),
              delay);
  }
}

std::vector<std::uint8_t> Period(std::size_t frames) {
  return std::vector<std::uint8_t>(6 * frames);
}

TEST(SimroomRealtime, PlaybackLeftEmptyAtABoundaryUnderruns) {
  const AlsaConfig config(kRoom);
  Pcm play;
  ASSERT_EQ(OpenStream(config, "room", SND_PCM_STREAM_PLAYBACK, 1024, play).hwParams, 0);
  auto bytes = Period(1024);
  void* planes[2] = {bytes.data(), bytes.data() + 3 * 1024};
  ASSERT_EQ(snd_pcm_prepare(play.handle), 0);
  ASSERT_EQ(snd_pcm_writen(play.handle, planes, 1024), 1024);
  std::this_thread::sleep_for(30ms);  // past the first boundary (21.3 ms)
  EXPECT_EQ(snd_pcm_writen(play.handle, planes, 1024), -EPIPE);
  EXPECT_EQ(snd_pcm_state(play.handle), SND_PCM_STATE_XRUN);
  ASSERT_EQ(snd_pcm_prepare(play.handle), 0);
  EXPECT_EQ(snd_pcm_writen(play.handle, planes, 1024), 1024);
}

TEST(SimroomRealtime, CaptureLeftUnreadUntilItsBufferIsFullOverruns) {
  const AlsaConfig config(kRoom);
  Pcm rec;
  ASSERT_EQ(OpenStream(config, "room", SND_PCM_STREAM_CAPTURE, 1024, rec).hwParams, 0);
  auto bytes = Period(4096);
  void* planes[2] = {bytes.data(), bytes.data() + 3 * 4096};
  ASSERT_EQ(snd_pcm_prepare(rec.handle), 0);
  ASSERT_EQ(snd_pcm_readn(rec.handle, planes, 1024), 1024);
  std::this_thread::sleep_for(100ms);  // the 4096-frame buffer is full after 85.3 ms
  EXPECT_EQ(snd_pcm_readn(rec.handle, planes, 1024), -EPIPE);

  // Blocking in poll when the boundary brings the overrun: -EPIPE, not -EIO.
  // Waking only for a full buffer means waking for the overrun itself.
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  ASSERT_EQ(snd_pcm_sw_params_current(rec.handle, sw), 0);
  ASSERT_EQ(snd_pcm_sw_params_set_avail_min(rec.handle, sw, 4096), 0);
  ASSERT_EQ(snd_pcm_sw_params(rec.handle, sw), 0);
  ASSERT_EQ(snd_pcm_prepare(rec.handle), 0);
  const auto start = Clock::now();
  EXPECT_EQ(snd_pcm_readn(rec.handle, planes, 4096), -EPIPE);
  EXPECT_GE(Seconds(Clock::now() - start), 4096.0 / 48000.0);
  EXPECT_EQ(snd_pcm_state(rec.handle), SND_PCM_STATE_XRUN);
}

TEST(SimroomRealtime, DrainWaitsUntilTheQueuedAudioHasPlayed) {
  const AlsaConfig config(kRoom);
  Pcm play;
  ASSERT_EQ(OpenStream(config, "room", SND_PCM_STREAM_PLAYBACK, 1024, play).hwParams, 0);
  auto bytes = Period(4096);
  void* planes[2] = {bytes.data(), bytes.data() + 3 * 4096};
  ASSERT_EQ(snd_pcm_prepare(play.handle), 0);
  const auto start = Clock::now();
  ASSERT_EQ(snd_pcm_writen(play.handle, planes, 4096), 4096);
  EXPECT_EQ(snd_pcm_drain(play.handle), 0);
  EXPECT_GE(Seconds(Clock::now() - start), 4096.0 / 48000.0);
  EXPECT_EQ(snd_pcm_state(play.handle), SND_PCM_STATE_SETUP);
}

TEST(SimroomRealtime, ForcedXrunStrikesAtTheDevicesChosenPeriod) {
  const AlsaConfig config(
      "pcm.room { type simroom clock realtime xrun_playback_period 3 xrun_capture_period 2 }");
  std::vector<std::int32_t> silence(12 * 1024, 0);
  const DuplexResult r = RunDuplex(config, "room", silence, silence, {.primePeriods = 3});
  int playbackXruns = 0;
  int captureXruns = 0;
  for (long n : r.writes) {
    playbackXruns += n == -EPIPE ? 1 : 0;
  }
  for (long n : r.reads) {
    captureXruns += n == -EPIPE ? 1 : 0;
  }
  EXPECT_EQ(playbackXruns + captureXruns, 2) << "each fault strikes once";
  EXPECT_EQ(captureXruns, 1);
}

}  // namespace
