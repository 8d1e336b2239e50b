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
// it) 300 samples late, over white noise at -90 dBFS, clipped at full scale.
std::vector<SampleWord> Input(const std::vector<SampleWord>& played, double gainDb,
                              std::mt19937& random) {
  std::normal_distribution<double> gauss;
  const double noise = kFullScale * std::pow(10.0, -90.0 / 20.0) / std::sqrt(2.0);
  std::vector<SampleWord> samples(played.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double signal = i >= 300 ? std::pow(10.0, gainDb / 20.0) * played[i - 300] : 0.0;
    samples[i] = static_cast<SampleWord>(
        std::clamp(std::round(signal + noise * gauss(random)), -kFullScale, kFullScale - 1.0));
  }
  return samples;
}

TEST(LevelCheck, AdvisesWhatToChangeAndSaysItOnTheInputsLine) {
  const struct {
    const char* name;
    double micGainDb;
    double loopGainDb;
    std::vector<LevelAdvice> advice;
    const char* line;  // of input 1, then of input 2
  } cases[] = {
      // clang-format off
      {"good", -8.0, 0.0, {}, "-14.0 dBFS, 14.0 dB headroom: good.\nInput 2 (loop-back): peak"},
      {"microphone silent", -INFINITY, 0.0, {LevelAdvice::kMicrophoneSilent},
       "phantom power (48 V), and that the amplifier is on.\nInput 2"},
      {"loop-back cable missing", -8.0, -INFINITY, {LevelAdvice::kLoopBackCable},
       "headroom: no sync burst came back: connect a cable from output 2 to input 2.\n"},
      {"microphone clips", 8.0, 0.0, {LevelAdvice::kMicrophoneGainDown},
       "samples at full scale: turn its gain down until the peak stays below -10 dBFS.\nInput 2"},
      {"microphone low", -30.0, 0.0, {LevelAdvice::kMicrophoneGainUp}, "turn its gain up"},
      {"loop-back clips", -8.0, 7.0, {LevelAdvice::kLoopBackGainDown}, "it clips: turn its gain"},
      // clang-format on
  };
  const LevelCheckSignals played = MakeLevelCheckSignals(0.5);
  std::mt19937 random(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SampleWord> mic = Input(played.output1, c.micGainDb, random);
    const std::vector<SampleWord> loop = Input(played.output2, c.loopGainDb, random);
    const LevelCheck check = CheckLevels(mic, loop, played.Playback());
    EXPECT_EQ(check.advice, c.advice);
    EXPECT_NE(LevelCheckLines(check).find(c.line), std::string::npos) << LevelCheckLines(check);
  }
}

}  // namespace
