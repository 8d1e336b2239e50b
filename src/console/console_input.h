#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

// The console's streams: what the user types, the dialogue, and the
// warnings beside it.
struct ConsoleStreams {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// The buffer every word typed at the console lands in: at most 31 characters.
using CommandWord = std::array<char, 32>;

// Reads the next white-space-separated word into word; returns false at the
// end of input. A word that does not fit the buffer, or that holds a
// NUL byte, is consumed whole and leaves word empty, so it matches nothing.
bool ReadWord(const ConsoleStreams& io, CommandWord& word);

// Prints "Enter 'c' to continue" and reads words until "c" is typed; returns
// false at the end of input.
bool WaitForContinue(const ConsoleStreams& io, CommandWord& word);

// What a bounded word read found.
enum class WordRead {
  kWord,     // word holds it, NUL-terminated
  kTooLong,  // more than 31 characters; consumed, word left empty
  kNulByte,  // contained a NUL byte; consumed, word left empty
  kEnd,      // end of input before any word
};

// ReadWord, telling why a word was unusable.
WordRead ReadWordChecked(const ConsoleStreams& io, CommandWord& word);

// What a number read found.
enum class NumberRead {
  kNumber,    // the value was stored
  kNoNumber,  // the input does not start with a number; the word stays unread
  kEnd,       // end of input
};

// Reads a real number the way "%lf" does (hexadecimal, inf and nan included).
// value is left unchanged unless a number was read.
NumberRead ReadReal(const ConsoleStreams& io, double& value);

// Reads an integer the way "%i" does (0x hexadecimal, leading-0 octal), but
// wide enough that the caller sees values beyond 32 bits instead of having
// them wrap.
NumberRead ReadInteger(const ConsoleStreams& io, long long& value);

// True when word holds exactly text.
bool WordIs(const CommandWord& word, const char* text);
