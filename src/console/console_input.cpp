#include "console/console_input.h"

#include <cstdio>
#include <cstring>

namespace {

// The white space that "%s" and the number reads skip (the C locale's set).
bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whoever sits at the keyboard must see the prompt before we block on them.
void FlushPrompt() {
  static_cast<void>(std::fflush(stdout));
}

}  // namespace

WordRead ReadWordChecked(CommandWord& word) {
  FlushPrompt();
  int c = std::getc(stdin);
  while (c != EOF && IsSpace(c)) {
    c = std::getc(stdin);
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
    c = std::getc(stdin);
  }
  if (c != EOF) {
    static_cast<void>(std::ungetc(c, stdin));
  }
  word[length] = '\0';

  if (tooLong || nulByte) {
    word[0] = '\0';
    return tooLong ? WordRead::kTooLong : WordRead::kNulByte;
  }
  return WordRead::kWord;
}

bool ReadWord(CommandWord& word) {
  return ReadWordChecked(word) != WordRead::kEnd;
}

bool WordIs(const CommandWord& word, const char* text) {
  return std::strcmp(word.data(), text) == 0;
}

bool WaitForContinue(CommandWord& word) {
  while (!WordIs(word, "c")) {
    std::puts("Enter 'c' to continue");
    if (!ReadWord(word)) {
      return false;
    }
  }
  return true;
}

NumberRead ReadReal(double& value) {
  FlushPrompt();
  double read = 0.0;
  const int stored = std::scanf("%lf", &read);
  if (stored == 1) {
    value = read;
    return NumberRead::kNumber;
  }
  return stored == EOF ? NumberRead::kEnd : NumberRead::kNoNumber;
}

NumberRead ReadInteger(long long& value) {
  FlushPrompt();
  long long read = 0;
  const int stored = std::scanf("%lli", &read);
  if (stored == 1) {
    value = read;
    return NumberRead::kNumber;
  }
  return stored == EOF ? NumberRead::kEnd : NumberRead::kNoNumber;
}
