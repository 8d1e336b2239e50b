#include "signals/sweep.h"

#include <algorithm>
#include <cmath>

#include "audio/sample_word.h"

namespace {

// A full turn of phase as the generators have always used it; the few parts
// per million it lies below 2*pi shift the tone by far less than a band.
constexpr double kTurn = 6.28318;

}  // namespace

ToneTrack SweepTrack(double startHz, double endHz, std::int32_t toneSamples) {
  const std::size_t samples = toneSamples > 0 ? static_cast<std::size_t>(toneSamples) : 0;
  return {.startHz = startHz,
          .stepHz = samples > 0 ? (endHz - startHz) / static_cast<double>(samples) : 0.0,
          .samples = samples};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the long-standing signature
void MakeSweep(std::uint32_t rate, SampleWord* samples, double* freqTrack, double startHz,
               double endHz, std::int32_t total, double amplitude, std::int32_t pad) {
  const double w = kTurn / static_cast<double>(rate);
  const double crest = kFullScale * amplitude;
  const double nyquist = static_cast<double>(rate) / 2.0;
  const std::int32_t toneSamples = total - 2 * pad;
  const ToneTrack track = SweepTrack(startHz, endHz, toneSamples);

  if (freqTrack != nullptr) {
    freqTrack[0] = startHz;
  }
  for (std::int32_t i = 0; i < pad && i < total; ++i) {
    samples[i] = 0;
  }
  for (std::int32_t j = 0; j < toneSamples; ++j) {
    const double f = track[static_cast<std::size_t>(j)];
    if (freqTrack != nullptr) {
      freqTrack[j] = f;
    }
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

ToneTrack ExponentialTrack(double startHz, double rateConstantSamples, std::int32_t toneSamples) {
  return {.startHz = startHz,
          .stepHz = 0.0,
          .growthPerSample = rateConstantSamples > 0.0 ? 1.0 / rateConstantSamples : 0.0,
          .samples = static_cast<std::size_t>(std::max(toneSamples, 0))};
}
