#include "audio/sample_packing.h"

#include <cstdint>

namespace {

// The byte of a two's-complement word, as the signed byte the planes hold.
std::int8_t ByteOf(std::uint32_t bits) {
  return static_cast<std::int8_t>(bits & 0xFFU);
}

std::uint32_t Unsigned(std::int8_t byte) {
  return static_cast<std::uint8_t>(byte);
}

// A signed 32-bit value with the low bits of this byte's pattern and the sign
// of its top bit, the way the top byte of a packed sample is read.
std::int32_t Signed(std::int8_t byte) {
  return byte;
}

}  // namespace

void NUM24_TO_CHAR(const SampleWord* samples, std::int8_t* packed, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    // The bit pattern of the two's-complement value: anything beyond 24 bits
    // is dropped, so out-of-range samples wrap rather than clip.
    const auto bits = static_cast<std::uint32_t>(samples[i]);
    std::int8_t* out = packed + 3 * static_cast<std::int64_t>(i);
    out[0] = ByteOf(bits);
    out[1] = ByteOf(bits >> 8U);
    out[2] = ByteOf(bits >> 16U);
  }
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the long-standing signature
void CHAR_TO_NUM32(const std::int8_t* packed, SampleWord* samples, std::int32_t sampleBytes,
                   std::int32_t count) {
  if (sampleBytes == 3) {
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int8_t* in = packed + 3 * static_cast<std::int64_t>(i);
      samples[i] = Signed(in[2]) * 65536 +
                   static_cast<std::int32_t>(Unsigned(in[1]) * 256U + Unsigned(in[0]));
    }
  } else if (sampleBytes == 2) {
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int8_t* in = packed + 2 * static_cast<std::int64_t>(i);
      // The 16-bit sample moves up to the 24-bit scale of a SampleWord.
      samples[i] = (Signed(in[1]) * 256 + static_cast<std::int32_t>(Unsigned(in[0]))) * 256;
    }
  }
  // Any other width is not a layout this program knows: nothing is read and
  // nothing is written, so the caller's samples keep what they held.
}

void Decon2(std::uint16_t value, std::int8_t* out) {
  out[0] = ByteOf(value);
  out[1] = ByteOf(static_cast<std::uint32_t>(value) / 256U);
}

void Decon4(std::int32_t value, std::int8_t* out) {
  // Successive truncating division: for negative values the upper bytes are
  // the low bytes of the (negative or zero) quotients, not a two's-complement
  // encoding.
  const std::int32_t q3 = value / 16777216;
  const std::int32_t r3 = value - q3 * 16777216;
  const std::int32_t q2 = r3 / 65536;
  const std::int32_t r2 = r3 - q2 * 65536;
  const std::int32_t q1 = r2 / 256;
  out[3] = ByteOf(static_cast<std::uint32_t>(q3));
  out[2] = ByteOf(static_cast<std::uint32_t>(q2));
  out[1] = ByteOf(static_cast<std::uint32_t>(q1));
  out[0] = ByteOf(static_cast<std::uint32_t>(value));
}
