#include "signals/sweep.h"

#include <cmath>

#include "audio/sample_word.h"

namespace {

// A full turn of phase as the generators have always used it; the few parts
// per million it lies below 2*pi shift the tone by far less than a band.
constexpr double kTurn = 6.28318;

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the long-standing signature
void MakeSweep(std::uint32_t rate, SampleWord* samples, double* freqTrack, double startHz,
               double endHz, std::int32_t total, double amplitude, std::int32_t pad) {
  const double w = kTurn / static_cast<double>(rate);
  const double crest = kFullScale * amplitude;
  const double nyquist = static_cast<double>(rate) / 2.0;
  const std::int32_t toneSamples = total - 2 * pad;
  // The track spans the tone alone, so the last tone sample lies within one
  // step of endHz and the top band is measured over its whole width.
  const double step = toneSamples > 0 ? (endHz - startHz) / static_cast<double>(toneSamples) : 0.0;

  freqTrack[0] = startHz;
  for (std::int32_t i = 0; i < pad && i < total; ++i) {
    samples[i] = 0;
  }
  for (std::int32_t j = 0; j < toneSamples; ++j) {
    const double f = startHz + step * static_cast<double>(j);
    freqTrack[j] = f;
    // The phase is the integral of the track, so the tone's own frequency at
    // tone sample j is the frequency the analysis files that sample under.
    const double phase = static_cast<double>(j) * (w * (startHz + f) / 2.0);
    // A tone above half the rate cannot be played: it would fold back into
    // the audio range and be measured as a lower one. The track goes on.
    samples[pad + j] = f > nyquist ? 0 : static_cast<SampleWord>(std::sin(phase) * crest);
  }
  for (std::int32_t i = pad > total - pad ? pad : total - pad; i < total; ++i) {
    samples[i] = 0;
  }
}
