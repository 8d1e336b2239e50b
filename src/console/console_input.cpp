#include "console/console_input.h"

#include <cstdio>
#include <cstring>

namespace {

// The white space that "%s" and the number reads skip (the C locale's set).
bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whoever sits at the keyboard must see the prompt before we block on them.
void FlushPrompt(const ConsoleStreams& io) {
  static_cast<void>(std::fflush(io.out));
}

}  // namespace

WordRead ReadWordChecked(const ConsoleStreams& io, CommandWord& word) {
  FlushPrompt(io);
  int c = std::getc(io.in);
  while (c != EOF && IsSpace(c)) {
    c = std::getc(io.in);
  }
  if (c == EOF) {
    return WordRead::kEnd;
  }

  std::size_t length = 0;
  bool tooLong = false;
  bool nulByte = false;
  while (c != EOF && !IsSpace(c)) {
    if (c == '\0') {
      nulByte = true;
    }
    if (length < word.size() - 1) {
      word[length++] = static_cast<char>(c);
    } else {
      tooLong = true;  // keep consuming: the rest must not become the next word
    }
    c = std::getc(io.in);
  }
  if (c != EOF) {
    static_cast<void>(std::ungetc(c, io.in));
  }
  word[length] = '\0';

  if (tooLong || nulByte) {
    word[0] = '\0';
    return tooLong ? WordRead::kTooLong : WordRead::kNulByte;
  }
  return WordRead::kWord;
}

bool ReadWord(const ConsoleStreams& io, CommandWord& word) {
  return ReadWordChecked(io, word) != WordRead::kEnd;
}

bool WordIs(const CommandWord& word, const char* text) {
  return std::strcmp(word.data(), text) == 0;
}

bool WaitForContinue(const ConsoleStreams& io, CommandWord& word) {
  while (!WordIs(word, "c")) {
    std::fputs("Enter 'c' to continue\n", io.out);
    if (!ReadWord(io, word)) {
      return false;
    }
  }
  return true;
}

NumberRead ReadReal(const ConsoleStreams& io, double& value) {
  FlushPrompt(io);
  double read = 0.0;
  const int stored = std::fscanf(io.in, "%lf", &read);
  if (stored == 1) {
    value = read;
    return NumberRead::kNumber;
  }
  return stored == EOF ? NumberRead::kEnd : NumberRead::kNoNumber;
}

NumberRead ReadInteger(const ConsoleStreams& io, long long& value) {
  FlushPrompt(io);
  long long read = 0;
  const int stored = std::fscanf(io.in, "%lli", &read);
  if (stored == 1) {
    value = read;
    return NumberRead::kNumber;
  }
  return stored == EOF ? NumberRead::kEnd : NumberRead::kNoNumber;
}
