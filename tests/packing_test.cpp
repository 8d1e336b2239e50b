#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "audio/sample_packing.h"

namespace {

std::int8_t B(unsigned value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value));
}

struct PackCase {
  SampleWord value;
  std::array<unsigned, 3> bytes;
};

const std::vector<PackCase> kPackTable{
    {0, {0x00, 0x00, 0x00}},        {1, {0x01, 0x00, 0x00}},    {255, {0xFF, 0x00, 0x00}},
    {256, {0x00, 0x01, 0x00}},      {-1, {0xFF, 0xFF, 0xFF}},   {-128, {0x80, 0xFF, 0xFF}},
    {-256, {0x00, 0xFF, 0xFF}},     {-257, {0xFF, 0xFE, 0xFF}}, {8388607, {0xFF, 0xFF, 0x7F}},
    {-8388608, {0x00, 0x00, 0x80}},
};

TEST(Packing, TableBothWays) {
  std::vector<SampleWord> values;
  values.reserve(kPackTable.size());
  for (const PackCase& c : kPackTable) {
    values.push_back(c.value);
  }
  const auto n = static_cast<std::int32_t>(values.size());
  std::vector<std::int8_t> packed(3 * values.size());
  NUM24_TO_CHAR(values.data(), packed.data(), n);
  for (std::size_t i = 0; i < kPackTable.size(); ++i) {
    for (std::size_t b = 0; b < 3; ++b) {
      EXPECT_EQ(packed[3 * i + b], B(kPackTable[i].bytes[b]))
          << "value " << kPackTable[i].value << " byte " << b;
    }
  }
  std::vector<SampleWord> back(values.size(), 77);
  CHAR_TO_NUM32(packed.data(), back.data(), 3, n);
  EXPECT_EQ(back, values);
}

TEST(Packing, OutOfRangeWrapsInsteadOfClipping) {
  const std::vector<SampleWord> values{8388608, -8388609, 16777216 + 5};
  std::vector<std::int8_t> packed(9);
  NUM24_TO_CHAR(values.data(), packed.data(), 3);
  const std::vector<std::int8_t> expected{B(0x00), B(0x00), B(0x80), B(0xFF), B(0xFF),
                                          B(0x7F), B(0x05), B(0x00), B(0x00)};
  EXPECT_EQ(packed, expected);
  std::vector<SampleWord> back(3);
  CHAR_TO_NUM32(packed.data(), back.data(), 3, 3);
  EXPECT_EQ(back, (std::vector<SampleWord>{-8388608, 8388607, 5}));
}

TEST(Packing, EveryTwentyFourBitValueRoundTrips) {
  constexpr std::int32_t kChunk = 65536;
  std::vector<SampleWord> values(kChunk);
  std::vector<std::int8_t> packed(std::size_t{3} * kChunk);
  std::vector<SampleWord> back(kChunk);
  for (std::int32_t base = -8388608; base < 8388608; base += kChunk) {
    for (std::int32_t i = 0; i < kChunk; ++i) {
      values[static_cast<std::size_t>(i)] = base + i;
    }
    NUM24_TO_CHAR(values.data(), packed.data(), kChunk);
    CHAR_TO_NUM32(packed.data(), back.data(), 3, kChunk);
    ASSERT_EQ(back, values) << "chunk from " << base;
  }
}

TEST(Packing, SixteenBitSamplesMoveToTheTwentyFourBitScale) {
  const std::vector<std::int8_t> packed{B(0x00), B(0x80), B(0xFF), B(0x7F),
                                        B(0xFF), B(0xFF), B(0x01), B(0x00)};
  std::vector<SampleWord> samples(4);
  CHAR_TO_NUM32(packed.data(), samples.data(), 2, 4);
  EXPECT_EQ(samples, (std::vector<SampleWord>{-8388608, 8388352, -256, 256}));
}

TEST(Packing, WritesExactlyCountSamples) {
  const std::vector<SampleWord> values{1, 2, 3};
  std::vector<std::int8_t> packed(12, B(0xAA));
  NUM24_TO_CHAR(values.data(), packed.data(), 3);
  EXPECT_EQ(packed[8], 0);
  EXPECT_EQ(packed[9], B(0xAA)) << "byte 3n written";

  NUM24_TO_CHAR(values.data(), packed.data(), 0);
  NUM24_TO_CHAR(values.data(), packed.data() + 9, -1);
  EXPECT_EQ(packed[9], B(0xAA));

  const std::vector<std::int8_t> source(16, 1);
  std::vector<SampleWord> samples(4, 77);
  CHAR_TO_NUM32(source.data(), samples.data(), 3, 3);
  EXPECT_EQ(samples[3], 77) << "sample past count written";
  // No samples, or a width it cannot read: nothing written.
  for (const auto& [width, count] :
       {std::pair{3, 0}, {3, -5}, {2, 0}, {2, -5}, {0, 4}, {1, 4}, {4, 4}, {-3, 4}}) {
    std::vector<SampleWord> untouched(4, 77);
    CHAR_TO_NUM32(source.data(), untouched.data(), width, count);
    EXPECT_EQ(untouched, std::vector<SampleWord>(4, 77)) << "width " << width << " count " << count;
  }
}

TEST(Packing, Decon2) {
  std::array<std::int8_t, 2> out{};
  Decon2(513, out.data());
  EXPECT_EQ(out, (std::array<std::int8_t, 2>{1, 2}));
  Decon2(65535, out.data());
  EXPECT_EQ(out, (std::array<std::int8_t, 2>{B(0xFF), B(0xFF)}));
}

struct Decon4Case {
  std::int32_t value;
  std::array<unsigned, 4> bytes;
};

TEST(Packing, Decon4BySuccessiveDivision) {
  for (const Decon4Case& c :
       {Decon4Case{66051, {0x03, 0x02, 0x01, 0x00}},
        Decon4Case{2147483647, {0xFF, 0xFF, 0xFF, 0x7F}}, Decon4Case{-1, {0xFF, 0x00, 0x00, 0x00}},
        Decon4Case{-256, {0x00, 0xFF, 0x00, 0x00}}, Decon4Case{-65536, {0x00, 0x00, 0xFF, 0x00}},
        Decon4Case{-16777216, {0x00, 0x00, 0x00, 0xFF}}}) {
    std::array<std::int8_t, 4> out{};
    Decon4(c.value, out.data());
    for (std::size_t b = 0; b < 4; ++b) {
      EXPECT_EQ(out[b], B(c.bytes[b])) << c.value << " byte " << b;
    }
  }
}

}  // namespace
