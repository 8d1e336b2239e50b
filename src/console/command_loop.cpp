#include "console/command_loop.h"

#include <cstdio>
#include <cstring>

#include "console/settings_limits.h"
#include "measurement/measurement_run.h"

namespace {

// Everything that outlives one command.
struct ConsoleState {
  ConsoleStreams io;
  Settings settings{};
  BandPlan plan{};
  double endHz = 0.0;
  CommandWord commandWord{};
  std::int32_t presetChoice = 0;
  // Where a proposed setting's band plan is tried out before it is accepted.
  BandPlan scratchPlan{};
  const RunOptions* run = nullptr;
  SessionResponses session;
  // Set when the sound device could not be set up: the program ends.
  std::optional<DeviceFailure> failure;
};

void PrintLines(std::FILE* out, std::initializer_list<const char*> lines) {
  for (const char* line : lines) {
    std::fputs(line, out);
    std::fputc('\n', out);
  }
}

void PrintBanner(std::FILE* out) {
  PrintLines(out, {
                      "//////////////////////////////////////////////////////////////////",
                      "//  WARNING! This program will send a wide range of sine waves  //",
                      "//  that are 6 dB below fullscale to your sound system.         //",
                      "//  It is strongly recommended that you turn your amplifier to  //",
                      "//  a very low setting initially to protect both your ears and  //",
                      "//  your speakers.                                              //",
                      "//////////////////////////////////////////////////////////////////",
                  });
}

void PrintSettings(const ConsoleState& state) {
  const Settings& s = state.settings;
  std::FILE* out = state.io.out;
  std::fprintf(out, "\nQ: %1.f --- Bands: %i --- Length: %.1f sec\n", s.qFactor, s.bandCount,
               s.sweepSeconds);
  std::fprintf(out, "Start: %.1f Hz --- End: %.1f Hz\n", s.startHz, state.endHz);
  std::fprintf(out, "Soundcard:  %s\n\n", s.deviceName.data());
}

void PrintMenu(std::FILE* out) {
  PrintLines(out, {
                      "Enter 'h' for help",
                      "      'q' to adjust the Q",
                      "      'b' to adjust the bands",
                      "      'f' to adjust the starting frequency",
                      "      't' to adjust the sweep time",
                      "      'p' for quick presets",
                      "      'c' to change soundcard device",
                      "      'd' to display current band ranges",
                      "      'r' ro run",
                      "      'x' to exit",
                  });
}

// Each command handler returns false when standard input has ended, which
// ends the program the way "x" does.

bool ShowHelp(ConsoleState& state) {
  PrintLines(state.io.out,
             {
                 "Tonvale 1.00 (1h) by Odrel Vashtey",
                 "A program for testing the frequency response of a room.\n",
                 "This program requires a two channel interface.",
                 "1. Attach your test microphone to channel 1.",
                 "2. Attach output channel 2 to input channel 2.",
                 "   (Channel 2 will be used to sync input and output signals.)",
                 "3. Attach a splitter or mixer to channel 1's output to feed amp/speakers.",
                 "\nIn summary:",
                 "Mic >> Input 1",
                 "Output 2 >> Input 2",
                 "Output 1 >> mixer >> amp >> speakers\n",
                 "Turn off soundcard monitor mixes to prevent feedback.",
                 "\nAdd or remove bands to adjust the overall frequency range.",
                 "Adjust Q to set bandwidth relative to frequency.",
                 "After adjusting Q you will probably need to re-adjust number of bands.",
             });
  return WaitForContinue(state.io, state.commandWord);
}

bool ShowBands(ConsoleState& state) {
  std::fputs("band\tlow\thigh\n", state.io.out);
  for (std::int32_t i = 0; i < state.settings.bandCount; ++i) {
    std::fprintf(state.io.out, "%i\t%.0f\t%.0f\n", i + 1,
                 state.plan.low[static_cast<std::size_t>(i)],
                 state.plan.high[static_cast<std::size_t>(i)]);
  }
  return WaitForContinue(state.io, state.commandWord);
}

bool ChangeDevice(ConsoleState& state) {
  PrintLines(state.io.out, {"Enter soundcard device name"});
  const WordRead read = ReadWordChecked(state.io, state.commandWord);
  if (read == WordRead::kEnd) {
    return false;
  }
  const char* refusal = nullptr;
  if (read == WordRead::kTooLong) {
    refusal = kRefuseDeviceLong;
  } else if (read == WordRead::kNulByte) {
    refusal = kRefuseDeviceNul;
  } else {
    refusal = CheckDeviceNameLength(std::strlen(state.commandWord.data()));
  }
  if (refusal != nullptr) {
    PrintLines(state.io.out, {refusal});
    return true;
  }
  // The length check above guarantees room for the name and its NUL.
  state.settings.deviceName.fill('\0');
  std::memcpy(state.settings.deviceName.data(), state.commandWord.data(),
              std::strlen(state.commandWord.data()));
  return true;
}

// Reads a number answer and stores it when check lets it through. A missing
// number leaves the setting and the unread word alone.
template <typename Number, typename Check, typename Store>
bool ReadNumberSetting(const ConsoleStreams& io, const char* prompt,
                       NumberRead (*read)(const ConsoleStreams&, Number&), Check check,
                       Store store) {
  PrintLines(io.out, {prompt});
  Number value{};
  switch (read(io, value)) {
    case NumberRead::kEnd:
      return false;
    case NumberRead::kNoNumber:
      return true;
    case NumberRead::kNumber:
      break;
  }
  if (const char* refusal = check(value)) {
    PrintLines(io.out, {refusal});
  } else {
    store(value);
  }
  return true;
}

struct Preset {
  double startHz;
  double qFactor;
  std::int32_t bandCount;
};

constexpr Preset kPresets[] = {
    {18.0, 4.0, 31}, {18.0, 1.3, 12}, {18.0, 6.0, 20}, {18.0, 2.0, 8}, {300.0, 5.0, 16},
};

bool ApplyPreset(ConsoleState& state) {
  PrintLines(state.io.out, {
                               "Enter:",
                               "1.  Full Range and Narrow (18 Hz - 16 kHz, Q 4, 31 bands",
                               "2.  Full Range and Wide (18 Hz - 16 kHz, Q 1.3, 12 bands",
                               "3.  Detailed Bass (18 Hz - 355 Hz, Q 6, 20 bands",
                               "4.  Rough Bass (18 Hz - 454 Hz, Q 2, 8 bands",
                               "5.  Midrange (300 - 5.5 kHz, Q 5, 16 bands",
                           });
  state.presetChoice = 0;
  while (state.presetChoice < 1 || state.presetChoice > 5) {
    long long value = 0;
    switch (ReadInteger(state.io, value)) {
      case NumberRead::kEnd:
        return false;
      case NumberRead::kNoNumber:
        // Not a number at all: drop the word and ask silently again.
        if (!ReadWord(state.io, state.commandWord)) {
          return false;
        }
        break;
      case NumberRead::kNumber:
        state.presetChoice = (value >= 1 && value <= 5) ? static_cast<std::int32_t>(value) : 0;
        break;
    }
  }
  const Preset& preset = kPresets[state.presetChoice - 1];
  state.settings.startHz = preset.startHz;
  state.settings.qFactor = preset.qFactor;
  state.settings.bandCount = preset.bandCount;
  return true;
}

// Carries out one command word; false when the program is to end.
bool CarryOut(ConsoleState& state) {
  const CommandWord& word = state.commandWord;
  Settings& s = state.settings;
  BandPlan& scratch = state.scratchPlan;
  if (WordIs(word, "x")) {
    return false;
  }
  if (WordIs(word, "r")) {
    const RunOutcome run = RunMeasurement(MakeSetup(s, state.run->choices), *state.run,
                                          state.session, {state.io.out, state.io.err});
    state.failure = run.failure;
    return !state.failure && (!run.measured || WaitForContinue(state.io, state.commandWord));
  }
  if (WordIs(word, "h")) {
    return ShowHelp(state);
  }
  if (WordIs(word, "c")) {
    return ChangeDevice(state);
  }
  if (WordIs(word, "q")) {
    return ReadNumberSetting<double>(
        state.io, "Enter Q (larger = narrower bandwidth)", ReadReal,
        [&](double q) { return CheckQ(s, q, scratch); }, [&](double q) { s.qFactor = q; });
  }
  if (WordIs(word, "f")) {
    return ReadNumberSetting<double>(
        state.io, "Enter starting frequency", ReadReal,
        [&](double hz) { return CheckStart(s, hz, scratch); }, [&](double hz) { s.startHz = hz; });
  }
  if (WordIs(word, "t")) {
    return ReadNumberSetting<double>(
        state.io, "Enter sweep length", ReadReal,
        [](double seconds) { return CheckSweepSeconds(seconds); },
        [&](double seconds) { s.sweepSeconds = seconds; });
  }
  if (WordIs(word, "b")) {
    return ReadNumberSetting<long long>(
        state.io, "Enter number of bands", ReadInteger,
        [&](long long count) { return CheckBandCount(s, count, scratch); },
        [&](long long count) { s.bandCount = static_cast<std::int32_t>(count); });
  }
  if (WordIs(word, "d")) {
    return ShowBands(state);
  }
  if (WordIs(word, "p")) {
    return ApplyPreset(state);
  }
  return true;  // an unknown word is dropped without a word said
}

}  // namespace

std::optional<DeviceFailure> RunConsole(const ConsoleStreams& io, const Settings& start,
                                        const RunOptions& run) {
  ConsoleState state;
  state.io = io;
  state.settings = start;
  state.run = &run;
  PrintBanner(io.out);
  for (;;) {
    const Settings& s = state.settings;
    state.endHz = FindHighFreq(s.qFactor, s.bandCount, s.startHz, state.plan.low.data(),
                               state.plan.high.data());
    PrintSettings(state);
    PrintMenu(io.out);
    if (!ReadWord(io, state.commandWord) || !CarryOut(state)) {
      break;
    }
  }
  static_cast<void>(std::fflush(io.out));
  return state.failure;
}
