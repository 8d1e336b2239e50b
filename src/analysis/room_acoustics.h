#pragma once

// The room-acoustic parameters of ISO 3382-1 from a measured impulse
// response, per octave or third-octave band: the decay times EDT, T20 and
// T30, the clarities C50 and C80, the definition D50 and the centre time Ts,
// with flags where a value is not to be trusted, and the curves that plot
// them. Pure analysis: nothing is printed, nothing global is kept.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "analysis/octave_filters.h"
#include "analysis/spectral_decay.h"
#include "setup/run_constants.h"

struct AcousticsRequest {
  double rate = SAMPLE_RATE;
  // The swept range: only bands whose edges lie inside it are analysed.
  double startHz = 20.0;
  double topHz = 20000.0;
  BandResolution resolution = BandResolution::kOctave;
};

// Why a value may not be what the room does. A flagged value is still given.
enum AcousticFlag : unsigned {
  // The band's decay stands too little above its noise: EDT needs 20 dB,
  // T20 35 dB, T30 45 dB, the energy ratios and Ts 20 dB.
  kFlagRange = 1U << 0U,
  // The decay is no straight line: the fit's |r| is below 0.98, or the curve
  // jumps past more than half of T20's or T30's range at its onset (a direct
  // sound far louder than the decay, or a band filter slower than the decay)
  // and leaves too little to fit.
  kFlagFit = 1U << 1U,
  // The decay is as fast as the band filter's own (T20 or T30 at most the
  // filter's T20; EDT, which spans half the time, at most twice it; the
  // energy ratios and Ts when the band's T30, else T20, is): the value may
  // describe the filter as much as the room.
  kFlagFilter = 1U << 2U,
};

struct AcousticValue {
  std::optional<double> value;  // none: the curve never got that far
  unsigned flags = 0;           // AcousticFlag bits

  [[nodiscard]] bool Usable() const { return value.has_value() && flags == 0; }
};

struct BandAcoustics {
  double centreHz = 0.0;      // exact mid-band frequency
  double nominalHz = 0.0;     // 63, 125, ...
  AcousticValue edt;          // s, 0 to -10 dB, extrapolated to 60 dB
  AcousticValue t20;          // s, -5 to -25 dB
  AcousticValue t30;          // s, -5 to -35 dB
  AcousticValue c50;          // dB
  AcousticValue c80;          // dB
  AcousticValue d50;          // ratio 0..1
  AcousticValue tsMs;         // centre time, ms
  double rangeDb = 0.0;       // the band's peak over its noise (Lundeby's estimate)
  double noiseDb = 0.0;       // the band's noise power re the broadband response's peak
  double filterDecayS = 0.0;  // T20 of the band filter's own impulse response
  double truncationS = 0.0;   // where the decay meets the noise (Lundeby), after the start
};

// A curve in dB sampled every stepS seconds from firstS on, time measured
// from the response's start.
struct SampledCurve {
  double firstS = 0.0;
  double stepS = 0.0;
  std::vector<float> db;
};

// A fitted decay line from (fromS, fromDb) to (toS, toDb).
struct DecayLine {
  double fromS = 0.0;
  double fromDb = 0.0;
  double toS = 0.0;
  double toDb = 0.0;
};

struct BandDecay {
  SampledCurve schroeder;        // dB re the band's energy from the start on
  std::optional<DecayLine> t30;  // the fitted T30 line, when there is one
  std::optional<DecayLine> t20;
};

struct RoomAcoustics {
  double rate = SAMPLE_RATE;
  // The start (ISO 3382-1): the first sample whose square is within 20 dB of
  // the squared response's maximum. Every band shares this time zero.
  std::size_t startIndex = 0;
  std::vector<BandAcoustics> bands;  // from the lowest up
  std::vector<BandDecay> decays;     // one per band, decimated for plotting
  // 10 log10(h^2) re its peak, the maximum over each step: the envelope a
  // plot shows.
  SampledCurve energyTime;
  // The cumulative spectral decay of the modal region; empty when the sweep
  // did not reach it.
  SpectralDecay waterfall;
};

// The analysis of impulse (index 0 = the loop-back's zero) as request says.
// The bands look at the response from its start for three times as long as
// the broadband decay takes to reach its noise, at least a second (or to its
// end): not the seconds of noise that a long sweep's response ends in. An
// empty or silent response gives bands with no values, flagged kFlagRange.
// Throws std::bad_alloc when memory runs out. Not thread-safe: FFTW's planner
// is shared (the waterfall).
RoomAcoustics AnalyseRoomAcoustics(std::span<const float> impulse, const AcousticsRequest& request);

// The single numbers of ISO 3382-1's mid-frequency range: the mean over the
// 500 Hz and 1 kHz bands (octave or third-octave) of T30 (T20 where T30 is
// flagged), EDT and C80, each from the bands whose value is unflagged; empty
// where no band has one.
struct MidFrequencySummary {
  std::optional<double> reverberationS;
  int t30Bands = 0;  // bands that gave T30 ...
  int t20Bands = 0;  // ... and T20 in its place
  std::optional<double> edtS;
  std::optional<double> c80Db;
  std::vector<double> bandsHz;  // the nominal bands that gave anything, 500 and/or 1000
};
MidFrequencySummary SummariseMidFrequencies(std::span<const BandAcoustics> bands);

// One parameter over several runs: the arithmetic mean of the runs that have
// it unflagged, and their sample standard deviation (n - 1; none below two).
struct AveragedValue {
  std::optional<double> mean;
  std::optional<double> sd;
  int count = 0;
};

struct BandAverage {
  double nominalHz = 0.0;
  double centreHz = 0.0;
  int runs = 0;  // runs that measured this band at all
  AveragedValue edt, t20, t30, c50, c80, d50, tsMs;
};

// Per band (matched by nominal frequency, from the lowest up), over the runs.
std::vector<BandAverage> AverageAcoustics(std::span<const RoomAcoustics> runs);
