#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Packs count samples into 3-byte little-endian two's-complement words
// (S24_3LE). Values outside the 24-bit range wrap, they are not clipped.
void NUM24_TO_CHAR(const SampleWord* samples, std::int8_t* packed, std::int32_t count);

// Unpacks count packed samples of sampleBytes (3 or 2) bytes each.
void CHAR_TO_NUM32(const std::int8_t* packed, SampleWord* samples, std::int32_t sampleBytes,
                   std::int32_t count);

void Decon2(std::uint16_t value, std::int8_t* out);
void Decon4(std::int32_t value, std::int8_t* out);
