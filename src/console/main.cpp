#include "console/command_loop.h"

int main() {
  // Static: the state lives as long as the program, and the sync arrays are
  // too large to sit comfortably on the stack.
  static ConsoleState state;
  return RunConsole(state);
}
