#include "console/measurement_run.h"

// Placeholder until the measurement run lands: "r" goes straight to the
// continue wait.
bool RunMeasurement(const Settings& /*settings*/, const BandPlan& /*plan*/, double /*endHz*/,
                    std::string& /*reportText*/, SyncArray& /*pulseWords*/,
                    SyncArray& /*syncWords*/, CommandWord& commandWord) {
  return WaitForContinue(commandWord);
}
