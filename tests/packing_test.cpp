#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/sample_packing.h"

namespace {

std::vector<std::int8_t> Bytes(std::initializer_list<unsigned> values) {
  std::vector<std::int8_t> bytes;
  for (const unsigned v : values) {
    bytes.push_back(static_cast<std::int8_t>(v));
  }
  return bytes;
}

struct PackCase {
  SampleWord value;
  std::vector<std::int8_t> bytes;  // S24_3LE
  SampleWord unpacked;             // differs from value where it wraps
};

// Every byte position, the sign boundary of each, and the 24-bit limits;
// values beyond them wrap rather than clip.
TEST(Packing, TwentyFourBitWordsBothWays) {
  const std::vector<PackCase> cases{
      {0, Bytes({0x00, 0x00, 0x00}), 0},
      {255, Bytes({0xFF, 0x00, 0x00}), 255},
      {256, Bytes({0x00, 0x01, 0x00}), 256},
      {-1, Bytes({0xFF, 0xFF, 0xFF}), -1},
      {-128, Bytes({0x80, 0xFF, 0xFF}), -128},
      {-257, Bytes({0xFF, 0xFE, 0xFF}), -257},
      {8388607, Bytes({0xFF, 0xFF, 0x7F}), 8388607},
      {-8388608, Bytes({0x00, 0x00, 0x80}), -8388608},
      {8388608, Bytes({0x00, 0x00, 0x80}), -8388608},
      {-8388609, Bytes({0xFF, 0xFF, 0x7F}), 8388607},
      {16777216 + 5, Bytes({0x05, 0x00, 0x00}), 5},
  };
  for (const PackCase& c : cases) {
    // One sample packed into the middle of three, so that a write beside it shows.
    const std::vector<SampleWord> values{1, c.value, -1};
    std::vector<std::int8_t> packed(10, 0x55);
    NUM24_TO_CHAR(values.data(), packed.data(), 3);
    EXPECT_EQ(std::vector<std::int8_t>(packed.begin() + 3, packed.begin() + 6), c.bytes) << c.value;
    EXPECT_EQ(packed[9], 0x55) << "byte past the third sample written";
    std::vector<SampleWord> back(4, 77);
    CHAR_TO_NUM32(packed.data(), back.data(), 3, 3);
    EXPECT_EQ(back, (std::vector<SampleWord>{1, c.unpacked, -1, 77})) << c.value;
  }
}

TEST(Packing, SixteenBitSamplesMoveToTheTwentyFourBitScale) {
  const std::vector<std::int8_t> packed = Bytes({0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00});
  std::vector<SampleWord> samples(5, 77);
  CHAR_TO_NUM32(packed.data(), samples.data(), 2, 4);
  EXPECT_EQ(samples, (std::vector<SampleWord>{-8388608, 8388352, -256, 256, 77}));
}

}  // namespace
