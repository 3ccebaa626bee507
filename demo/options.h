// The intros' command line. Without options an intro runs unpaced, one
// animation step per presentation as fast as the machine presents; --fps N
// paces it.
#pragma once

#include <cstdint>
#include <cstdio>

struct IntroOptions {
  int32_t fps = 0;  // presentations a second, 1 to 1000; 0 is unlimited
};

// Parses a whole decimal number from min to max; false for anything else
// (empty, trailing characters, out of range).
bool DEMOParseInt(const char* text, int32_t min, int32_t max, int32_t* value);

// Parses the intros' arguments into options. True to go on and run. False
// when the program should end at once with *status: 0 after --help (the usage
// on standard output), 2 after an unknown option or a bad value (one line
// naming it, then the usage, on standard error).
bool DEMOParseIntroOptions(int argc, char** argv, IntroOptions* options,
                           int* status);

// Writes the intros' usage, for the program named program, to out.
void DEMOIntroUsage(const char* program, FILE* out);

// Supplied by the intros' configuration unit: paces the presentations at fps
// a second (0: unlimited).
void DEMOSetRate(int32_t fps);
