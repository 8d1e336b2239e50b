#pragma once

#include <span>

#include "analysis/response_point.h"

// The power average of several measurements of one room: |H|^2 averaged
// point by point, so that a deep notch in one run (a microphone placed in a
// null) pulls the average down by at most 3 dB instead of dragging it to the
// bottom as an average of dB values would.
//
// Every response is read at the frequencies of the first one, interpolating
// its dB values linearly in log frequency. Only the frequencies that all
// responses cover are kept; the result is empty when they share no range or
// when there is no response. A power average has no phase: phaseDeg is 0.
FineResponse AveragePower(std::span<const FineResponse> responses);

// The dB value of response at hz, linear in log frequency between its
// neighbouring points; hz must lie within the response's range.
double InterpolateDb(const FineResponse& response, double hz);
