#pragma once

#include <span>
#include <vector>

#include "audio/play_rec.h"
#include "audio/sample_word.h"

// What came back from the device, unpacked: one signal per input, as long
// as what was played.
struct Recording {
  std::vector<std::vector<SampleWord>> inputs;
  TransferReport transfer;
};

// The buffers a capture of frameCount frames on channels channels takes at
// its peak, for a memory check before anything is allocated.
std::size_t CaptureBytes(std::int32_t channels, std::int32_t frameCount);

// What of them the Recording keeps afterwards: the unpacked inputs.
std::size_t RecordingBytes(std::int32_t channels, std::int32_t frameCount);

// Plays outputs[c] on output c and records every input for as long, through
// the device that request names. Every buffer is allocated before the device
// is opened (std::bad_alloc then, with nothing played). The outputs must all
// hold the same number of samples, one output per channel of the request.
Expected<Recording, DeviceFailure> PlayAndRecord(
    const StreamRequest& request, std::span<const std::span<const SampleWord>> outputs,
    const DuplexEvents& events);
