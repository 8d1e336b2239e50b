#pragma once

#include <cstddef>
#include <cstdint>

#include "setup/band_plan.h"
#include "setup/run_constants.h"
#include "setup/settings.h"

// What the console accepts as a new setting. Each check returns nullptr when
// the value may be stored, or the one line that tells the user why not and
// what is allowed. The band checks compute the plan the new value would give
// into scratch, so that a value is refused before it ever reaches the plan
// the program works with.

const char* CheckQ(const Settings& current, double qFactor, BandPlan& scratch);
const char* CheckBandCount(const Settings& current, long long bandCount, BandPlan& scratch);
const char* CheckStart(const Settings& current, double startHz, BandPlan& scratch);
const char* CheckSweepSeconds(double sweepSeconds);

// Status of a device name typed at the prompt: nullptr when it fits.
const char* CheckDeviceNameLength(std::size_t length);

inline constexpr const char* kRefuseQ = "Refused: Q must be a finite number other than 0.";
inline constexpr const char* kRefuseTooManyBands =
    "Refused: the number of bands must be at most 1024.";
inline constexpr const char* kRefuseTooFewBands =
    "Refused: the number of bands must be at least -2147483648.";
inline constexpr const char* kRefuseStart =
    "Refused: the starting frequency must be a finite number.";
inline constexpr const char* kRefusePlanRange =
    "Refused: the band edges would leave the range -2147483648 to 2147483647 Hz; use fewer "
    "bands, a larger Q or a start nearer 0.";
inline constexpr const char* kRefuseSweep =
    "Refused: the sweep length must be from 0 to 5591 seconds.";
inline constexpr const char* kRefuseDeviceLong =
    "Refused: the device name must be at most 15 characters.";
inline constexpr const char* kRefuseDeviceNul =
    "Refused: the device name must not contain a NUL byte.";
