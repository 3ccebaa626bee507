// The intros' command line. Without options an intro runs unpaced, one
// animation step per presentation as fast as the machine presents; --fps N
// paces it.
#pragma once

#include <cstdint>
#include <cstdio>

struct IntroOptions {
  int32_t fps = 0;  // presentations a second, 1 to 1000; 0 is unlimited
  // The folder the data files are read from; none: the working directory.
  const char* data = nullptr;
};

// Parses a whole decimal number from min to max; false for anything else
// (empty, trailing characters, out of range).
bool DEMOParseInt(const char* text, int32_t min, int32_t max, int32_t* value);

// Parses the intros' arguments into options. True to go on and run. False
// when the program should end at once with *status: 0 after --help (the usage
// on standard output) or --version (DEMOPrintVersion), 2 after an unknown
// option or a bad value (one line naming it, then the usage, on standard
// error).
bool DEMOParseIntroOptions(int argc, char** argv, IntroOptions* options,
                           int* status);

// Writes the intros' usage, for the program named program, to out.
void DEMOIntroUsage(const char* program, FILE* out);

// Writes "<program> (tandrix) <version>" and a newline to standard output.
void DEMOPrintVersion(const char* program);

// Makes dir, when given, the working directory, where the driver opens the
// data files by their bare names. False, after a line on standard error
// naming program, the folder and the reason, when it cannot be entered.
bool DEMOEnterDataFolder(const char* program, const char* dir);

// Supplied by the intros' configuration unit: paces the presentations at fps
// a second (0: unlimited).
void DEMOSetRate(int32_t fps);
