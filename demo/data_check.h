// DEMO data checks: what every data file of the intro must hold, told once.
//
// The intro at start-up (the message and the logo), the live reload of
// --watch (every file) and `tandrix check` (every file) read the data files
// through these operations, so that what the checker accepts is what the
// intro shows. Each kind of file (demo/data_files.h) has one rule here:
//   font     a PNM image whose width and height are non-zero multiples of 8
//            (a grid of 8 x 8 glyphs), at most 64 MiB;
//   map      text art of at most 64 MiB;
//   runner   text art whose first DEMO_FRAME_TEXT_MAX bytes (the part the
//            intro shows) cover the first frame's box: as many lines, each as
//            wide as the first frame's widest (a smaller frame would leave
//            pieces of the one before it on the screen); more is cut, with a
//            warning;
//   message  one line of printable characters (32 to 126), at most 64 KiB,
//            not empty; one '\n' may end it;
//   logo     five rows of at most DEMO_LOGO_MAX_WIDTH printable characters,
//            each ended by '\n' (the last may go without), at most 1 KiB.
// A file must be a regular file; only a file the table marks optional may be
// absent. A character of the message or the logo that the font draws blank
// (other than the blank) is a warning. Problems are collected in a
// DemoReport, each with its file, line and column from 1 (0 and 0 when it
// concerns the whole file); nothing throws: when memory runs out the report
// says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "demo/data_files.h"
#include "img/img.h"

inline constexpr int32_t DEMO_LOGO_ROWS = 5;
inline constexpr int32_t DEMO_LOGO_MAX_WIDTH = 19;

struct DemoProblem {
  std::string file;      // as the reader named it: "DIR/logo.txt"
  int32_t line = 0;      // from 1; 0: the whole file
  int32_t column = 0;    // from 1; 0: the whole file
  bool warning = false;  // a warning; otherwise an error
  std::string what;      // what is wrong, in a few words
};

struct DemoReport {
  std::vector<DemoProblem> problems;  // in the order they were found
  int32_t errors = 0;
  int32_t warnings = 0;
  bool outOfMemory = false;  // problems may be missing then
};

// What a check needs to know besides the file itself: the glyph sheet (for
// the blank-glyph warnings; none: no such warnings) and the first runner
// frame's box (rows 0: the file checked is the first frame and sets it).
struct DemoCheckContext {
  const Image* glyphs = nullptr;
  int32_t runnerRows = 0;
  int32_t runnerCols = 0;
};

// "file:line:column: error: what" (or "warning:"); "file: error: what" for a
// problem of the whole file.
std::string DEMOProblemLine(const DemoProblem& problem);

// Checks the bytes of a text file of kind (map, runner, message or logo),
// named file in the problems, adding what is wrong to report. True when no
// error was found.
bool DEMOCheckText(DemoDataKind kind, const char* file, const char* bytes,
                   size_t size, const DemoCheckContext& context,
                   DemoReport* report);

// Checks a glyph sheet's size. True when it is a grid of 8 x 8 glyphs.
bool DEMOCheckSheet(const char* file, const Image* sheet, DemoReport* report);

// True when the font draws code blank: every pixel of its glyph is 0, or the
// glyph lies outside the sheet.
bool DEMOGlyphBlank(const Image* sheet, int32_t code);

// The box the first runner frame covers (its '\n'-ended lines and the widest
// of them, within the part the intro shows), into context.
void DEMORunnerBox(const char* text, DemoCheckContext* context);

// Opens path for reading without blocking (a FIFO or a device must not stall
// anything) and checks on the opened descriptor that it is a regular file.
// The descriptor, or -1 with *reason set (DEMO_OUT_OF_MEMORY when memory ran
// out) and errno kept from the failing call (ENOENT: there is no such file).
int DEMOOpenDataFile(const char* path, struct stat* st, const char** reason);

// Reads and checks the data file path (of the table's entry file, named path
// in the problems) as the intro uses it. The text, zero-terminated, of a
// text kind (the logo with every row padded with blanks to the widest, so
// that its box is opaque; a runner frame in DEMO_FRAME_TEXT_MAX + 1 bytes; a
// message without the '\n' that may end it), or
// none: when it has an error (in report), or when it is optional and absent
// (no problem: the built-in text is meant). Released with DEMOFreeText.
[[nodiscard]] char* DEMOLoadChecked(const DemoDataFile& file, const char* path,
                                    const DemoCheckContext& context,
                                    DemoReport* report);

// Reads and checks a glyph sheet. The image (the caller owns it), or none
// with the error in report.
[[nodiscard]] Image* DEMOLoadSheet(const char* path, DemoReport* report);

// Checks every file of the table in the folder dir as the intro reads it, the
// glyph sheet first (the other files' warnings need it) and then the table's
// order. The number of errors; report holds every problem.
int32_t DEMOCheckFolder(const char* dir, DemoReport* report);

// The width of a logo: its widest row.
int32_t DEMOLogoWidth(const char* logo);
