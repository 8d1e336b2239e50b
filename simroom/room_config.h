#pragma once

// The simulated room's settings, read from its entry in the ALSA configuration.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reverb.h"
#include "signals/biquad.h"

namespace simroom {

enum class ClockKind { kFast, kRealtime };

// One filter of the room: shape, frequency (Hz), Q, and a peaking filter's gain.
using FilterSpec = BiquadSpec;
using FilterKind = BiquadShape;

// The streams that a fault applies to.
struct StreamSet {
  bool playback = false;
  bool capture = false;
  bool Has(snd_pcm_stream_t stream) const {
    return stream == SND_PCM_STREAM_PLAYBACK ? playback : capture;
  }
};

// The loudspeaker's nonlinearity y = x + a2 x^2 + a3 x^3, x on the scale
// where full scale is 1.0.
struct NonlinearSpec {
  double a2 = 0.0;
  double a3 = 0.0;
};

// A sound-level calibrator on the microphone: a steady sine of that
// frequency and RMS level in dBFS, where a full-scale sine reads 0 dBFS.
struct CalibratorSpec {
  double hz = 1000.0;
  double levelDbfs = -20.0;
};

inline constexpr double kNoiseOffDb = -150.0;
inline constexpr std::int64_t kNoPeriod = -1;

struct RoomConfig {
  ClockKind clock = ClockKind::kFast;
  std::int64_t loopDelay = 300;     // frames, every output to its input
  std::int64_t acousticDelay = 48;  // extra frames on channel 1: about 34 cm of air
  double gainDb = -6.0;
  double noiseDb = -100.0;
  std::uint64_t seed = 1;
  bool cable = true;
  std::vector<FilterSpec> filters = DefaultFilters();
  StreamSet refuseFormat;
  StreamSet failOpen;
  StreamSet failHwParams;
  unsigned periodFrames = 0;  // 0: whatever the application asks for
  unsigned rate = 48000;
  unsigned channels = 2;
  std::int64_t xrunPlaybackPeriod = kNoPeriod;
  std::int64_t xrunCapturePeriod = kNoPeriod;
  std::int64_t goneAfterPeriod = kNoPeriod;
  double syncNoiseDb = kNoiseOffDb;        // input 2's own noise
  bool swapInputs = false;                 // the microphone on input 2, the cable on input 1
  std::int64_t captureLate = 0;            // frames the capture stream starts after its due time
  std::int64_t slipAtFrame = 0;            // capture frame where the recording slips
  std::int64_t slipFrames = 0;             // > 0: frames dropped there; < 0: frames repeated there
  std::vector<FilterSpec> correction;      // an equaliser between output 1 and the room
  std::optional<NonlinearSpec> nonlinear;  // the loudspeaker's distortion, before every filter
  std::optional<ReverbSpec> reverb;        // a diffuse tail added after the room's filters
  std::string irPath;                      // the file `ir` names, if any
  // That file's first channel, read at configuration; it replaces the room's filters.
  std::shared_ptr<const std::vector<double>> ir;
  std::optional<CalibratorSpec> calibrator;  // input 1 hears it instead of the room

  // A mildly coloured room: the speaker's roll-off at both ends, a bass
  // room mode and a dip in the upper mids.
  static std::vector<FilterSpec> DefaultFilters();

  // Where capture frame `frame` (counted from the capture stream's prepare)
  // lies on the device's own count: after the late start and any slip.
  std::int64_t HeardAt(std::int64_t frame) const {
    return frame + captureLate + (frame >= slipAtFrame ? slipFrames : 0);
  }
};

// The longest delay the device can hold between an output and its input.
inline constexpr std::int64_t kMaxDelayFrames = 480000;

// Fills config from the device's configuration node. Unknown keys and bad
// values are reported through SNDERR and give -EINVAL.
int ParseRoomConfig(snd_config_t* conf, RoomConfig& config);

}  // namespace simroom
