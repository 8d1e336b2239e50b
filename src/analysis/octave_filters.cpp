#include "analysis/octave_filters.h"

#include <array>
#include <cmath>

namespace {

// Base-10 octave ratio.
const double kG = std::pow(10.0, 0.3);

// The band numbers x (in bands from 1 kHz) of 63 Hz - 8 kHz and 50 Hz - 10 kHz.
constexpr int kFirstOctave = -4;
constexpr int kLastOctave = 3;
constexpr int kFirstThird = -13;
constexpr int kLastThird = 10;

// The preferred numbers of the third-octave series (R10), one decade.
constexpr std::array<double, 10> kPreferred{1.0, 1.25, 1.6, 2.0, 2.5, 3.15, 4.0, 5.0, 6.3, 8.0};

// The nominal frequency of third-octave number n (n thirds from 1 kHz).
double NominalHz(int thirds) {
  const int decade = thirds >= 0 ? thirds / 10 : -((-thirds + 9) / 10);
  const int step = thirds - 10 * decade;
  return kPreferred[static_cast<std::size_t>(step)] * std::pow(10.0, 3 + decade);
}

}  // namespace

int BandFilterOrder(BandResolution resolution) {
  return resolution == BandResolution::kOctave ? 5 : 6;
}

std::vector<FilterBand> DesignBandFilters(BandResolution resolution, double startHz, double topHz,
                                          double rate) {
  const bool octaves = resolution == BandResolution::kOctave;
  const int perOctave = octaves ? 1 : 3;
  const int first = octaves ? kFirstOctave : kFirstThird;
  const int last = octaves ? kLastOctave : kLastThird;
  // Edges that equal the range's ends up to rounding count as inside.
  constexpr double kSlack = 1e-9;
  std::vector<FilterBand> bands;
  for (int x = first; x <= last; ++x) {
    FilterBand band;
    band.exactHz = 1000.0 * std::pow(kG, static_cast<double>(x) / perOctave);
    band.nominalHz = NominalHz(octaves ? 3 * x : x);
    const double halfBand = std::pow(kG, 1.0 / (2.0 * perOctave));
    band.lowHz = band.exactHz / halfBand;
    band.highHz = band.exactHz * halfBand;
    if (band.lowHz < startHz * (1.0 - kSlack) || band.highHz > topHz * (1.0 + kSlack) ||
        band.highHz >= rate / 2.0) {
      continue;
    }
    band.sections =
        DesignButterworthBandpass(BandFilterOrder(resolution), band.lowHz, band.highHz, rate);
    bands.push_back(std::move(band));
  }
  return bands;
}
