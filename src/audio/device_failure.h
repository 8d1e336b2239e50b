#pragma once

#include <string>

// Why the sound device could not be set up for a measurement: the message
// users know for that step, with the device's own reason, and the stream it
// has always been printed on. The program ends with status 1 after it.
struct DeviceFailure {
  std::string message;  // ends with a line break
  bool onStdout = false;
  // What the user can try next, for standard error after the message; empty
  // when nothing better than the message itself can be said.
  std::string hint{};
};
