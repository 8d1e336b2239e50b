#include <cstdio>

#include "console/command_loop.h"

// The one place where the program ends.
int main() {
  const std::optional<DeviceFailure> failure = RunConsole({stdin, stdout, stderr});
  if (!failure) {
    return 0;
  }
  std::fputs(failure->message.c_str(), failure->onStdout ? stdout : stderr);
  return 1;
}
