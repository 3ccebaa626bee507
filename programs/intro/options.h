// The intros' command line. Without options an intro runs unpaced, one
// animation step per presentation as fast as the machine presents; --fps N
// paces it.
#pragma once

#include <cstdint>

struct IntroOptions {
  int32_t fps = 0;  // presentations a second, 1 to 1000; 0 is unlimited
  // The folder the data files are read from; none: the working directory.
  const char* data = nullptr;
  // Reload a data file when it changes, restarting the scene (demo/watch.h).
  bool watch = false;
  bool mute = false;  // --mute: no soundtrack
};

// Parses the intros' arguments into options (the one option parser, cli.h).
// True to go on and run. False when the program should end at once with
// *status: 0 after --help or --version, 2 after an unknown option or a bad
// value (one line naming it, then the usage, on standard error).
bool IntroParseOptions(int argc, char** argv, IntroOptions* options,
                       int* status);
