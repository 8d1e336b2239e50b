#include <csignal>
#include <cstdio>

#include "console/command_loop.h"

// The one place where the program ends.
int main() {
  // A results file over the size limit must fail its write, which is then
  // taken back, instead of killing the program with half a table in it.
  (void)std::signal(SIGXFSZ, SIG_IGN);
  const std::optional<DeviceFailure> failure = RunConsole({stdin, stdout, stderr});
  if (!failure) {
    return 0;
  }
  std::fputs(failure->message.c_str(), failure->onStdout ? stdout : stderr);
  std::fflush(stdout);
  std::fputs(failure->hint.c_str(), stderr);
  return 1;
}
