#pragma once

#include <cstdint>

#include "audio/sample_word.h"

// Packs count samples into 3-byte little-endian two's-complement words
// (S24_3LE). Values outside the 24-bit range wrap, they are not clipped.
void NUM24_TO_CHAR(const SampleWord* samples, std::int8_t* packed, std::int32_t count);

// Unpacks count packed samples of sampleBytes bytes each: 3 for S24_3LE,
// sign-extended; 2 for S16_LE, moved up to the 24-bit scale (times 256).
// Any other width is refused silently: nothing is read and samples is left
// as it was, since neither the layout nor the size of packed is then known.
void CHAR_TO_NUM32(const std::int8_t* packed, SampleWord* samples, std::int32_t sampleBytes,
                   std::int32_t count);

// The two bytes of value, least significant first.
void Decon2(std::uint16_t value, std::int8_t* out);

// The four bytes of value by successive truncating division, least
// significant first; for a negative value the upper three bytes are those of
// the negative quotients (-1 gives FF 00 00 00), not two's complement.
void Decon4(std::int32_t value, std::int8_t* out);
