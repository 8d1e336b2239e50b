#include "console/settings_limits.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <tuple>

#include "audio/device_list.h"
#include "setup/run_constants.h"

namespace {

const char* CheckPlan(double qFactor, std::int32_t bandCount, double startHz, BandPlan& scratch) {
  return BandPlanFits(qFactor, bandCount, startHz, scratch.low.data(), scratch.high.data())
             ? nullptr
             : kRefusePlanRange;
}

}  // namespace

const char* CheckQ(const Settings& current, double qFactor, BandPlan& scratch) {
  if (!std::isfinite(qFactor) || qFactor == 0.0) {
    return kRefuseQ;
  }
  return CheckPlan(qFactor, current.bandCount, current.startHz, scratch);
}

const char* CheckBandCount(const Settings& current, long long bandCount, BandPlan& scratch) {
  if (bandCount > kMaxBands) {
    return kRefuseTooManyBands;
  }
  if (bandCount < std::numeric_limits<std::int32_t>::min()) {
    return kRefuseTooFewBands;
  }
  return CheckPlan(current.qFactor, static_cast<std::int32_t>(bandCount), current.startHz, scratch);
}

const char* CheckStart(const Settings& current, double startHz, BandPlan& scratch) {
  if (!std::isfinite(startHz)) {
    return kRefuseStart;
  }
  return CheckPlan(current.qFactor, current.bandCount, startHz, scratch);
}

const char* CheckSweepSeconds(double sweepSeconds) {
  // Written so that NaN fails too.
  return (sweepSeconds >= 0.0 && sweepSeconds <= kMaxSweepSeconds) ? nullptr : kRefuseSweep;
}

const char* CheckDeviceNameLength(std::size_t length) {
  // The name travels NUL-terminated in the settings' fixed buffer.
  constexpr std::size_t kCapacity = std::tuple_size_v<decltype(Settings::deviceName)>;
  static_assert(kCapacity == kMaxDeviceNameLength + 1, "the device list offers names that fit");
  return length < kCapacity ? nullptr : kRefuseDeviceLong;
}
