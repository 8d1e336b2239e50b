#pragma once

#include <cstdio>

#include "analysis/run_result.h"
#include "report/run_output.h"
#include "setup/measurement_setup.h"

// The device is set up and the transfer starts; whether it granted the
// period that was asked for.
void PrintStarted(const RunOutput& io, bool periodAsAsked);

// Everything a finished run says, in the order the user has always read it:
// the transfer's troubles, the sync lines and their warnings, the distance,
// the band table with its notes, and the warnings about the recording.
void PresentRun(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result);
