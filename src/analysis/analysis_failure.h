#pragma once

// Why a part of a run's analysis could not be had.
enum class AnalysisFailure {
  kTooLong,   // the sweep is too long for one transform
  kNoMemory,  // the memory for it could not be had
};
