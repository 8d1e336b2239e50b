#include "report/spl_texts.h"

#include <algorithm>

#include "text/text_format.h"

namespace {

bool Has(const LevelCheck& check, LevelAdvice advice) {
  return std::find(check.advice.begin(), check.advice.end(), advice) != check.advice.end();
}

// "; " between the verdicts, "good" without any.
void AppendVerdict(std::string& line, const std::string& verdicts) {
  line += ": ";
  line += verdicts.empty() ? "good" : verdicts;
  line += ".\n";
}

void AddVerdict(std::string& verdicts, const char* verdict) {
  if (!verdicts.empty()) {
    verdicts += "; ";
  }
  verdicts += verdict;
}

std::string MicrophoneLine(const LevelCheck& check) {
  const InputLevels& mic = check.microphone;
  std::string line;
  AppendFormat(line, "Input 1 (microphone): %.1f dBFS RMS, peak %.1f dBFS, %.1f dB headroom",
               mic.rmsDbfs, mic.peakDbfs, mic.HeadroomDb());
  // The microphone gets one piece of advice at most.
  std::string verdicts;
  if (Has(check, LevelAdvice::kMicrophoneGainDown)) {
    if (mic.clippedSamples > 0) {
      AppendFormat(verdicts,
                   "%lld samples at full scale: ", static_cast<long long>(mic.clippedSamples));
    }
    AppendFormat(verdicts, "turn its gain down until the peak stays below %.0f dBFS",
                 -kMinHeadroomDb);
  } else if (Has(check, LevelAdvice::kMicrophoneGainUp)) {
    AppendFormat(verdicts, "turn its gain up until the peak reaches about %.0f dBFS",
                 -(kMinHeadroomDb + kMaxHeadroomDb) / 2.0);
  } else if (Has(check, LevelAdvice::kMicrophoneSilent)) {
    AppendFormat(verdicts,
                 "no louder than before the noise (%.1f dBFS): check the microphone's cable and "
                 "phantom power (48 V), and that the amplifier is on",
                 mic.silenceDbfs);
  }
  AppendVerdict(line, verdicts);
  return line;
}

std::string LoopBackLine(const LevelCheck& check) {
  const InputLevels& loop = check.loopBack;
  std::string line;
  AppendFormat(line, "Input 2 (loop-back): peak %.1f dBFS, %.1f dB headroom", loop.peakDbfs,
               loop.HeadroomDb());
  std::string verdicts;
  if (Has(check, LevelAdvice::kLoopBackCable)) {
    AddVerdict(verdicts, "no sync burst came back: connect a cable from output 2 to input 2");
  }
  if (Has(check, LevelAdvice::kSwapInputs)) {
    AddVerdict(verdicts,
               "it carries the noise, so the inputs look swapped: the microphone goes to input "
               "1, the cable from output 2 to input 2");
  }
  if (Has(check, LevelAdvice::kLoopBackGainDown)) {
    AddVerdict(verdicts, "it clips: turn its gain down");
  }
  AppendVerdict(line, verdicts);
  return line;
}

}  // namespace

std::string CalibratorToneLine(const CalibratorTone& tone) {
  std::string line;
  switch (tone.fault) {
    case ToneFault::kNone:
      AppendFormat(line, "Calibrator tone: %.1f Hz at %.2f dBFS, so 0 dBFS = %.2f dB SPL.\n",
                   tone.hz, tone.dbfs, tone.offsetDb);
      break;
    case ToneFault::kTooShort:
      AppendFormat(line, "No calibration: the recording is shorter than %g s.\n",
                   kMinCalibratorSeconds);
      break;
    case ToneFault::kClipped:
      AppendFormat(line,
                   "No calibration: input 1 clips (%lld samples at full scale); turn its gain "
                   "down and calibrate again.\n",
                   static_cast<long long>(tone.clippedSamples));
      break;
    case ToneFault::kNoTone:
      AppendFormat(line,
                   "No calibration: no steady tone near 1 kHz (the strongest, at %.1f Hz, holds "
                   "%.0f %% of the signal); put the calibrator on the microphone and switch it "
                   "on.\n",
                   tone.hz, 100.0 * tone.share);
      break;
    case ToneFault::kOffFrequency:
      AppendFormat(line,
                   "No calibration: the tone is at %.1f Hz, more than 1 %% from 1000 Hz; set "
                   "the calibrator to 1 kHz.\n",
                   tone.hz);
      break;
    case ToneFault::kUnsteady:
      AppendFormat(line,
                   "No calibration: the tone's level moves by %.1f dB; hold the calibrator "
                   "firmly on the microphone and calibrate again.\n",
                   tone.spreadDb);
      break;
  }
  return line;
}

std::string LevelCheckLines(const LevelCheck& check) {
  return MicrophoneLine(check) + LoopBackLine(check);
}
