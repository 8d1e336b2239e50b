#pragma once

#include <string>

#include "setup/measurement_setup.h"

// Room correction, asked for with --eq. Every --eq-* option also turns it on.
struct EqOptions {
  bool enabled = false;
  double lowHz = 20.0;  // the range the filters may act on
  double highHz = 500.0;
  int filterCount = 10;
  double tiltDbPerOctave = 0.0;  // target slope; negative falls towards the treble
  double boostDb = 0.0;          // how far a filter may lift a dip
  bool operator==(const EqOptions&) const = default;
};

// What the command line adds to every run.
struct RunOptions {
  std::string saveDir;  // empty: nothing saved beyond the results file
  SetupChoices choices;
  EqOptions eq;
};
