#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "setup/band_plan.h"
#include "setup/mic_calibration.h"
#include "setup/run_constants.h"
#include "setup/settings.h"

// What one run plays, built once before it starts and read by every stage
// after it: capture, analysis, presentation and saving.

enum class SweepKind {
  kLinear,       // equal time for every hertz
  kExponential,  // equal time for every octave
};

// The signal on the loudspeaker's output.
struct Stimulus {
  SweepKind kind = SweepKind::kLinear;
  double startHz = 18.0;
  double endHz = 0.0;  // the band plan's top; the tone stops at half the rate
  double seconds = 10.0;
  double amplitude = kSweepAmplitude;  // peak, full scale 1
};

// Which output and input does what, counted from 0.
struct ChannelRoles {
  int stimulusOutput = 0;  // to the amplifier and loudspeakers
  int loopbackOutput = 1;  // the sync burst, through a cable ...
  int loopbackInput = 1;   // ... back in here
  int microphoneInput = 0;
};

// The calibrations the command line loaded.
struct Calibrations {
  std::optional<MicCalibration> microphone;
  std::string microphoneFile;  // as the user named it
  // The sound level in dB SPL that a full-scale sine on the microphone's
  // input stands for; none: levels are relative.
  std::optional<double> splOffsetDb;
  std::string splFile;  // as the user named it; empty when given by hand
};

// Room-acoustic parameters in octave or third-octave bands.
enum class AcousticBands { kOctaves, kThirdOctaves };

// What the command line chooses for every run, beside the menu's settings.
struct SetupChoices {
  SweepKind sweep = SweepKind::kLinear;
  double amplitude = kSweepAmplitude;  // the sweep's peak, full scale 1
  AcousticBands acousticBands = AcousticBands::kOctaves;
  Calibrations calibrations;
};

struct MeasurementSetup {
  std::uint32_t rate = SAMPLE_RATE;
  std::string deviceName = "default";
  ChannelRoles channels;
  Stimulus stimulus;
  // The band table's plan, and the two figures it was made from, as the
  // menu shows them.
  double qFactor = 4.0;
  std::int32_t bandCount = 0;
  BandPlan plan;
  AcousticBands acousticBands = AcousticBands::kOctaves;
  Calibrations calibrations;

  // The bands' upper edges, one per band.
  [[nodiscard]] std::span<const double> BandHighs() const;
  // Tone samples of the sweep (sweep length times rate, truncated).
  [[nodiscard]] std::int32_t SweepSamples() const;
  // Samples per channel: the sweep and its two pads of silence.
  [[nodiscard]] std::int32_t TotalSamples() const { return SweepSamples() + 2 * EDGE_PAD; }
  // The highest frequency the sweep plays.
  [[nodiscard]] double TopHz() const;
};

// The set-up for a run of the menu's settings.
MeasurementSetup MakeSetup(const Settings& settings, const SetupChoices& choices);

// A setting the menu accepts but no sweep can measure, or none.
enum class Unplayable { kTooManyBands, kSweepLength, kNegativeQ, kStartBelow1Hz };
std::optional<Unplayable> CheckPlayable(const MeasurementSetup& setup);
