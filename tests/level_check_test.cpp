#include "analysis/level_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "measurement/level_check_signals.h"
#include "report/spl_texts.h"

namespace {

// What an input records: the played signal gainDb louder (-inf: nothing of
// it) 300 samples late, over white noise at floorDbfs, clipped at full scale.
std::vector<SampleWord> Input(const std::vector<SampleWord>& played, double gainDb,
                              double floorDbfs, std::mt19937& random) {
  std::normal_distribution<double> gauss;
  const double gain = std::pow(10.0, gainDb / 20.0);
  const double noise = kFullScale * std::pow(10.0, floorDbfs / 20.0) / std::sqrt(2.0);
  std::vector<SampleWord> samples(played.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double signal = i >= 300 ? gain * played[i - 300] : 0.0;
    samples[i] = static_cast<SampleWord>(
        std::clamp(std::round(signal + noise * gauss(random)), -kFullScale, kFullScale - 1.0));
  }
  return samples;
}

TEST(LevelCheck, AdvisesWhatToChange) {
  const struct {
    const char* name;
    double micGainDb;
    double loopGainDb;
    std::vector<LevelAdvice> advice;
  } cases[] = {
      {"good", -8.0, 0.0, {}},
      {"microphone silent", -INFINITY, 0.0, {LevelAdvice::kMicrophoneSilent}},
      {"loop-back cable missing", -8.0, -INFINITY, {LevelAdvice::kLoopBackCable}},
      {"microphone clips", 8.0, 0.0, {LevelAdvice::kMicrophoneGainDown}},
      {"microphone low", -30.0, 0.0, {LevelAdvice::kMicrophoneGainUp}},
      {"loop-back clips", -8.0, 7.0, {LevelAdvice::kLoopBackGainDown}},
  };
  const LevelCheckSignals played = MakeLevelCheckSignals();
  std::mt19937 random(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SampleWord> mic = Input(played.output1, c.micGainDb, -90.0, random);
    const std::vector<SampleWord> loop = Input(played.output2, c.loopGainDb, -110.0, random);
    EXPECT_EQ(CheckLevels(mic, loop, played.Playback()).advice, c.advice);
  }
}

TEST(LevelCheck, OneLinePerInputWithItsFiguresAndVerdict) {
  LevelCheck good;
  good.microphone = {.rmsDbfs = -23.44, .silenceDbfs = -90.0, .peakDbfs = -11.21};
  good.loopBack = {.rmsDbfs = -110.0, .silenceDbfs = -110.0, .peakDbfs = -6.02};
  LevelCheck bad = good;
  bad.microphone = {.rmsDbfs = -89.5, .silenceDbfs = -90.0, .peakDbfs = -80.0};
  bad.advice = {LevelAdvice::kMicrophoneSilent, LevelAdvice::kLoopBackCable};
  EXPECT_EQ(LevelCheckLines(good),
            "Input 1 (microphone): -23.4 dBFS RMS, peak -11.2 dBFS, 11.2 dB headroom: good.\n"
            "Input 2 (loop-back): peak -6.0 dBFS, 6.0 dB headroom: good.\n");
  EXPECT_EQ(LevelCheckLines(bad),
            "Input 1 (microphone): -89.5 dBFS RMS, peak -80.0 dBFS, 80.0 dB headroom: no louder "
            "than before the noise (-90.0 dBFS): check the microphone's cable and phantom power "
            "(48 V), and that the amplifier is on.\n"
            "Input 2 (loop-back): peak -6.0 dBFS, 6.0 dB headroom: no sync burst came back: "
            "connect a cable from output 2 to input 2.\n");
}

}  // namespace
