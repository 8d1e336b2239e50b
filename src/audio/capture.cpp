#include "audio/capture.h"

#include <cstdint>

#include "audio/sample_packing.h"

namespace {

// S24_3LE: every sample travels in three bytes.
constexpr std::int32_t kPackedBytes = 3;

}  // namespace

std::size_t RecordingBytes(std::int32_t channels, std::int32_t frameCount) {
  return static_cast<std::size_t>(channels) * static_cast<std::size_t>(frameCount) *
         sizeof(SampleWord);
}

std::size_t CaptureBytes(std::int32_t channels, std::int32_t frameCount) {
  const auto samples = static_cast<std::size_t>(channels) * static_cast<std::size_t>(frameCount);
  // Packed play and record planes, and the unpacked inputs.
  return samples * 2 * kPackedBytes + RecordingBytes(channels, frameCount);
}

Expected<Recording, DeviceFailure> PlayAndRecord(
    const StreamRequest& request, std::span<const std::span<const SampleWord>> outputs,
    const DuplexEvents& events) {
  const auto frames = static_cast<std::int32_t>(outputs.empty() ? 0 : outputs.front().size());
  const std::int32_t planeBytes = kPackedBytes * frames;
  const auto planesBytes = outputs.size() * static_cast<std::size_t>(planeBytes);
  std::vector<std::int8_t> play(planesBytes, 0);
  std::vector<std::int8_t> record(planesBytes, 0);
  Recording recording;
  recording.inputs.assign(outputs.size(),
                          std::vector<SampleWord>(static_cast<std::size_t>(frames)));
  for (std::size_t c = 0; c < outputs.size(); ++c) {
    NUM24_TO_CHAR(outputs[c].data(), play.data() + c * static_cast<std::size_t>(planeBytes),
                  frames);
  }
  auto transfer = PLAY_REC(request,
                           {.play = play,
                            .record = record,
                            .sampleBytes = kPackedBytes,
                            .planeBytes = planeBytes,
                            .frameCount = frames},
                           events);
  if (!transfer) {
    return Unexpected{transfer.error()};
  }
  std::vector<std::int8_t>().swap(play);  // one buffer fewer at the peak while unpacking
  for (std::size_t c = 0; c < outputs.size(); ++c) {
    CHAR_TO_NUM32(record.data() + c * static_cast<std::size_t>(planeBytes),
                  recording.inputs[c].data(), kPackedBytes, frames);
  }
  recording.transfer = *transfer;
  return recording;
}
