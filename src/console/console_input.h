#pragma once

#include <array>

// The buffer every word typed at the console lands in: at most 31 characters.
using CommandWord = std::array<char, 32>;

// Reads the next white-space-separated word into word; returns false at the
// end of standard input.
bool ReadWord(CommandWord& word);

// Prints "Enter 'c' to continue" and reads words until "c" is typed; returns
// false at the end of standard input.
bool WaitForContinue(CommandWord& word);
