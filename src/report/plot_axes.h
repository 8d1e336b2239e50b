#pragma once

#include <string>
#include <vector>

// One grid line of an axis; label is empty for the unlabelled minor lines.
struct GridLine {
  double value = 0.0;
  std::string label;
  bool major = false;  // a decade (frequency) or 0 dB
};

// A logarithmic frequency axis whose ends are whole multiples (1..9) of a
// decade, so that the plot starts and ends on a grid line.
struct FrequencyAxis {
  double lowHz = 20.0;
  double highHz = 20000.0;
};

// A dB axis from bottomDb to topDb, both multiples of stepDb.
struct DbAxis {
  double bottomDb = -24.0;
  double topDb = 6.0;
  double stepDb = 6.0;
};

// The axis that covers lowest..highest Hz (20 Hz to 20 kHz when the range is
// empty or not positive).
FrequencyAxis FrequencyAxisFor(double lowestHz, double highestHz);

// Lines at every 1..9 multiple of each decade; 1, 2 and 5 labelled as
// "20", "500", "1k", "20k".
std::vector<GridLine> FrequencyGrid(const FrequencyAxis& axis);

// A range that holds lowest..highest dB with a little headroom, on a 6 dB grid
// (10 dB for wide ranges), at least four grid steps tall, cut off some 80 dB
// below the highest value so that one deep notch does not flatten the rest.
DbAxis DbAxisFor(double lowestDb, double highestDb);

// Lines every stepDb, labelled "+6", "0", "-12"; 0 dB is major.
std::vector<GridLine> DbGrid(const DbAxis& axis);

// A linear time axis from fromS to toS with grid lines every stepS, read in
// milliseconds (inSeconds false) or seconds.
struct TimeAxis {
  double fromS = 0.0;
  double toS = 1.0;
  double stepS = 0.1;
  bool inSeconds = false;
};

// An axis that holds fromS..toS, its end on a grid line, some 5 to 10 lines
// (steps of 1, 2 or 5 times a power of ten); seconds from 2 s up. The start
// stays where it is (a plot may start a little before 0).
TimeAxis TimeAxisFor(double fromS, double toS);

// Lines at every multiple of stepS within the axis, labelled "0", "50",
// "100" (ms) or "0", "0.5", "1" (s); 0 is major.
std::vector<GridLine> TimeGrid(const TimeAxis& axis);
