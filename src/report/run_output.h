#pragma once

#include <cstdio>

// Where a run speaks: the dialogue's lines on out, the warnings on err. Each
// warning says what happened and what to do.
struct RunOutput {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};
