#pragma once

// The console's texts as a user sees them, for the tests that drive the real
// executable. Written out here, independently of the program's own strings.

#include <string>

#include "process_runner.h"

namespace console_texts {

inline const std::string kBanner =
    "//////////////////////////////////////////////////////////////////\n"
    "//  WARNING! This program will send a wide range of sine waves  //\n"
    "//  that are 6 dB below fullscale to your sound system.         //\n"
    "//  It is strongly recommended that you turn your amplifier to  //\n"
    "//  a very low setting initially to protect both your ears and  //\n"
    "//  your speakers.                                              //\n"
    "//////////////////////////////////////////////////////////////////\n";

inline const std::string kMenu =
    "Enter 'h' for help\n"
    "      'q' to adjust the Q\n"
    "      'b' to adjust the bands\n"
    "      'f' to adjust the starting frequency\n"
    "      't' to adjust the sweep time\n"
    "      'p' for quick presets\n"
    "      'c' to change soundcard device\n"
    "      'd' to display current band ranges\n"
    "      'r' ro run\n"
    "      'x' to exit\n";

// The settings display followed by the menu, with each value as it must
// appear on screen.
inline std::string Screen(const std::string& q, const std::string& bands,
                          const std::string& seconds, const std::string& startHz,
                          const std::string& endHz, const std::string& device = "default") {
  return "\nQ: " + q + " --- Bands: " + bands + " --- Length: " + seconds + " sec\n" +
         "Start: " + startHz + " Hz --- End: " + endHz + " Hz\n" + "Soundcard:  " + device +
         "\n\n" + kMenu;
}

// The display right after start.
inline const std::string kDefaults = Screen("4", "31", "10.0", "18.0", "16175.0");

inline ProcessResult RunConsole(const std::string& input,
                                std::chrono::seconds timeout = std::chrono::seconds(60)) {
  return RunProcess({TONVALE_EXE}, {.input = input, .timeout = timeout});
}

}  // namespace console_texts
