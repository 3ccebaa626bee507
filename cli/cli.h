// CLI: the command line of every program, read one way.
//
// A program lists its options in a table (a Parser and one call per option)
// and hands it argc and argv. Every program then takes the same forms and
// answers the same way:
//   --name value and --name=value for an option with a value; --name alone
//   for a switch (a switch given a value with = is refused);
//   --help: the usage on standard output, status 0;
//   --version: "<program> (tandrix) <version>" on standard output, status 0;
//   anything else (an unknown option, a stray word, a missing or bad value):
//   one line naming it, then the usage, on standard error, status 2.
// Numbers are plain decimal digits: no blanks, no sign, no base prefix. The
// program is named by the base name of argv[0]. Nothing throws; a parser that
// cannot record its table (memory ran out) says so and ends with status 1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// Parses text as a whole decimal number from min to max: digits only (a
// leading '-' only where min is negative), no blanks, no '+'. False for
// anything else, out of range or overflowing included.
bool ParseNumber(const char* text, int32_t min, int32_t max, int32_t* value);

// Parses "WxH" into two numbers, each ParseNumber from min to max.
bool ParseSize(const char* text, int32_t min, int32_t max, int32_t* width,
               int32_t* height);

// Calls item(part, context) for every part of text between commas, in order;
// false, without going on, when text is empty, a part is empty (",5", "5,,6",
// "5,") or item refuses one.
bool ParseList(const char* text, bool (*item)(const std::string& part,
                                              void* context),
               void* context);

// The base name of argv[0], or "intro" when there is none.
const char* ProgramName(int argc, char** argv);

// Flushes standard output and checks that every write to it succeeded. False
// after one line on standard error, "PROGRAM: write error on standard output:
// REASON", when one failed (a closed pipe, a full disk, /dev/full), as cat
// reports it: the program should then end with status 1.
bool FinishOutput(const char* program);

// Makes dir, when given, the working directory, where the driver opens the
// data files by their bare names. False, after a line on standard error
// naming program, the folder and the reason, when it cannot be entered.
bool EnterDataFolder(const char* program, const char* dir);

// Writes "<program> (tandrix) <version>" and a newline to standard output.
void PrintVersion(const char* program);

class Parser {
 public:
  // usage is what follows "usage: <program>" in the usage text, from the
  // synopsis on, e.g. " [--fps N]\nPlays the intro ...\n".
  Parser(const char* program, const char* usage);

  // A switch: *on becomes true when it is given.
  void Flag(const char* name, bool* on);
  // A number from min to max (ParseNumber); expects words the refusal, e.g.
  // "a number from 0 to 1000".
  void Number(const char* name, int32_t min, int32_t max, int32_t* value);
  // A text that must not be empty, such as a folder or a file; expects as
  // above ("a folder").
  void Text(const char* name, const char* expects, const char** value);
  // A value read by parse(value, context), which refuses it by returning
  // false; expects as above ("FRAME:KEY items").
  void Custom(const char* name, const char* expects,
              bool (*parse)(const char* value, void* context), void* context);

  // Reads the arguments. True to go on and run; false when the program
  // should end at once with *status (0 after --help or --version, 1 when
  // that answer could not be written, 2 after a mistake).
  bool Parse(int argc, char** argv, int* status);

  // Writes "usage: <program>" and the usage text to out.
  void PrintUsage(FILE* out) const;

  // Refuses the command line after parsing (a check across options): one
  // line "<program>: <reason>", the usage on standard error; the status, 2.
  int Refuse(const char* reason) const;

 private:
  enum class Kind { Flag, Number, Text, Custom };
  struct Option {
    const char* name;
    Kind kind;
    const char* expects;
    void* target;
    int32_t min, max;
    bool (*parse)(const char*, void*);
  };

  bool Accept(const Option& option, const char* value);
  int Mistake(const std::string& line) const;

  const char* program_;
  const char* usage_;
  std::vector<Option> options_;
  bool full_ = false;  // an option could not be recorded
};

}  // namespace cli
