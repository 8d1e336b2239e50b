#pragma once

// The room-acoustics plots, as complete SVG documents of kPlotWidth x
// kPlotHeight pixels with all text escaped.

#include <string>
#include <string_view>

#include "analysis/room_acoustics.h"
#include "analysis/spectral_decay.h"

// run-NNN-decay.svg: the broadband energy-time curve (10 log10 h^2 re its
// peak) and each octave band's Schroeder curve with its fitted T30 line (T20
// where there is no T30), in dB over time from the response's start; the
// legend gives each band's value and its flags. With third-octave bands, the
// bands at octave centres are drawn.
std::string RenderDecaySvg(const RoomAcoustics& room, std::string_view title,
                           std::string_view subtitle);

// run-NNN-waterfall.svg: the cumulative spectral decay as stacked slices over
// a logarithmic frequency axis, the earliest in front, each later one shifted
// up and to the right; a note in place of the plot when decay is empty.
std::string RenderWaterfallSvg(const SpectralDecay& decay, std::string_view title,
                               std::string_view subtitle);
