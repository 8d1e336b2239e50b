#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "audio/sample_word.h"
#include "setup/run_constants.h"

// The exponential (logarithmic) sweep, synchronised as Novak et al. define
// it (JAES 63(10), 2015):
//
//   x(t) = A sin(2 pi f1 L e^(t/L)),  f(t) = f1 e^(t/L),  f1 L whole.
//
// Its phase phi(t) = 2 pi f1 L e^(t/L) has k phi(t) = phi(t + L ln k) for
// every k: the k-th harmonic a distorting loudspeaker makes of the sweep is
// the sweep itself, earlier by L ln k, with no phase of its own added. After
// deconvolution each harmonic's response therefore lies L ln k before the
// linear one, and its phase is the loudspeaker's, not an artefact of the
// sweep. The form with e^(t/L) - 1 would add (k - 1) 2 pi f1 L to the k-th
// harmonic's phase; with f1 L whole that is whole turns, so the two forms are
// the same signal, and the tone is computed as f1 L (e^(t/L) - 1) cycles
// (expm1): it starts at phase 0 exactly and keeps full precision.

// What the sweep is asked to be.
struct SweepShape {
  double startHz = 20.0;
  double endHz = 20000.0;
  double rate = SAMPLE_RATE;
  // The tone's slot between the two pads, in seconds: a run passes its sweep
  // samples divided by the rate, and gets that many samples back.
  double seconds = 10.0;
  double amplitude = 0.5;  // the crest, as a fraction of full scale
};

// The sweep as it is played. Novak's L = round(f1 T / ln(f2 / f1)) / f1
// keeps the start and lets the tone's length drift by up to half a step of
// ln(f2 / f1) / f1 (0.19 s from 18 Hz). Here the tone must fill its slot
// exactly and end at endHz: the band analysis files every slot sample under
// its track, so a shorter tone would file silence in the top band (-3.8 dB
// for the default run) and a longer one would lose its top. So the whole
// number of start cycles per L is rounded down, and the start moves to fit:
// the tone starts at the start frequency nearest below the one asked for
// that makes startHz * L whole (17.72 Hz, 26 cycles, for a 10 s sweep from
// 18 Hz to 16175 Hz), so the whole range asked for is still swept. Only a
// slot too short for one cycle (under ln(end / start) / start seconds)
// starts above it.
struct LogSweepPlan {
  SweepShape shape;              // as asked
  double startHz = 0.0;          // where the tone starts
  double rateConstant = 0.0;     // L, in seconds: the tone rises by e in L
  std::int64_t startCycles = 0;  // startHz * L, whole; 0: no tone
  std::int32_t slotSamples = 0;
  // Tone samples that sound: up to endHz and no higher than half the rate.
  std::int32_t toneSamples = 0;
  std::int32_t fadeInSamples = 0;   // half-Hann at the start
  std::int32_t fadeOutSamples = 0;  // and at the end of the sounding tone

  // The tone's frequency at t seconds into the slot.
  [[nodiscard]] double HzAt(double seconds) const {
    return startHz * std::exp(seconds / rateConstant);
  }
  // How long before the linear response the k-th harmonic's lies: L ln k.
  [[nodiscard]] double HarmonicLeadSeconds(int k) const {
    return rateConstant * std::log(static_cast<double>(k));
  }
};

// The plan for shape. A shape that cannot sweep (no slot, a start that is not
// positive, an end not above the start, values that are not finite) gives no
// tone: startCycles 0, rateConstant 0, and a flat track at startHz.
LogSweepPlan PlanLogSweep(const SweepShape& shape);

// Fills samples with pad samples of silence, the tone's slot and silence to
// the end, and freqTrack with the tone's frequency startHz e^(t/L) at each
// of the slot's samples (as far as each span reaches; freqTrack[0] is the
// start even when there is no slot). Like MakeSweep, the tone is silent where
// the track lies above half the rate, and the track runs on. The fades last
// the shorter of 5 ms and 3 cycles of the start at the start, and the longer
// of 5 ms and 3 cycles of the end at the end, each at most a quarter of the
// tone. Returns the plan it played.
LogSweepPlan MakeLogSweep(const SweepShape& shape, std::int32_t pad, std::span<SampleWord> samples,
                          std::span<double> freqTrack);
