// TERM: a grid of character cells shown in a text terminal.
//
// The view (TermView) remembers what the terminal shows and turns each new
// grid into the bytes that bring the terminal there: cursor moves and the
// characters of the cells that changed, on an xterm-compatible terminal
// (ANSI/ECMA-48 sequences; every terminal emulator, tmux, screen and the Linux
// console understand them). Cells are signed 32-bit character codes, row-major
// as in the text screen; codes 32-126 are shown as themselves, every other
// code as a blank. The grid is drawn from the terminal's top-left corner; a
// terminal smaller than the grid shows its top-left part.
//
// The key decoder turns the bytes a terminal sends into key codes, telling a
// lone Escape from the escape sequences of arrow and function keys.
//
// The tty part puts the terminal into raw mode on the alternate screen with
// the cursor hidden and gives it back exactly as it was, on every way out.
//
// Nothing here throws or aborts; failures are reported by return values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- colour ----------------------------------------------------------------

enum class TermColour : uint8_t {
  None,     // no colour sequences at all
  Palette,  // the 256-colour palette (SGR 38;5;N)
  Direct,   // 24-bit colour (SGR 38;2;R;G;B)
};

// The colour a terminal gets from its environment: None when noColor is set
// (the NO_COLOR convention: present and not empty) or term names a terminal
// without colour (unset, empty, "dumb", the vt family); Direct when colorterm
// is "truecolor" or "24bit"; Palette otherwise. Any argument may be none.
TermColour TERMChooseColour(const char* colorterm, const char* noColor,
                            const char* term);

// The entry of the 256-colour palette nearest to 0x00RRGGBB, from the 6x6x6
// cube (16-231) and the grey ramp (232-255); the first 16, which every
// terminal's theme redefines, are never chosen.
int32_t TERMNearest256(uint32_t rgb);

// ---- the view ----------------------------------------------------------------

struct TermView {
  int32_t cols, rows;          // the grid
  int32_t termCols, termRows;  // the terminal; the view is the overlap
  TermColour colour;
  char* shown;       // cols * rows bytes the terminal shows (32-126)
  int64_t ink;       // the colour set on the terminal, -1 before any
  bool redraw;       // the next draw clears and redraws everything
  bool cut;          // a draw showed only part of the grid
  int32_t cutCols, cutRows;  // the terminal's size at the last cut draw
  int32_t cursorCol, cursorRow;  // where the cursor is; -1: unknown
};

// A view of a cols x rows grid on a terminal of termCols x termRows, whose
// first draw redraws everything; none on a bad size or without memory.
[[nodiscard]] TermView* TERMNew(int32_t cols, int32_t rows, int32_t termCols,
                                int32_t termRows, TermColour colour);
void TERMFree(TermView** view);

// The terminal now has termCols x termRows (after a resize): the next draw
// clears it and redraws everything.
void TERMResize(TermView* view, int32_t termCols, int32_t termRows);

// Appends to out the bytes that make the terminal show cells (cols * rows
// codes) drawn in ink (0x00RRGGBB; ignored without colour) on black: only the
// cells that differ from what it shows, unless a redraw is due. A change of
// the colour as the terminal shows it rewrites every visible non-blank cell.
// The cursor is left wherever the last cell written put it.
void TERMDraw(TermView* view, const int32_t* cells, uint32_t ink,
              std::string* out);

// The character a cell code is shown as.
inline char TERMGlyph(int32_t code) {
  return code >= 32 && code <= 126 ? static_cast<char>(code) : ' ';
}

// ---- keys --------------------------------------------------------------------

// What the decoder makes of terminal input: a key code as the intro knows
// them (27 for Escape, the byte itself for every other key that sends one
// byte), or TERM_KEY_INTERRUPT for Ctrl-C.
inline constexpr int32_t TERM_KEY_INTERRUPT = -1;

// Decodes bytes[0 .. n) into at most n keys, stored in keys; *count is how
// many. Escape sequences (ESC [ ... final, ESC O x) and Alt combinations
// (ESC and a printable byte) give no key; bytes from 128 up (parts of
// multi-byte characters) give none either. Returns the number of bytes used:
// fewer than n when the bytes end with what may be the start of a sequence
// (an ESC, or an ESC [ still waiting for its final byte), which the caller
// keeps and passes again with what follows. With final set (nothing more came
// within the Escape time), a trailing ESC is a lone Escape and a cut-short
// sequence is dropped, and all n bytes are used.
size_t TERMDecodeKeys(const uint8_t* bytes, size_t n, bool final,
                      int32_t* keys, size_t* count);

// How long a lone ESC waits for the rest of a sequence, in milliseconds.
inline constexpr int TERM_ESCAPE_WAIT_MS = 40;

// ---- the terminal ------------------------------------------------------------

// The size of the terminal on fd; false when fd is not a terminal.
bool TERMTtySize(int fd, int32_t* cols, int32_t* rows);

// Takes over the terminal: input (inputFd, when it is a terminal) in raw mode
// without echo (Ctrl-C arrives as a byte, not as a signal), output (outputFd)
// on the alternate screen with the cursor hidden. Remembers how to undo it
// for TERMTtyRestore. False if outputFd is not a terminal.
bool TERMTtyEnter(int inputFd, int outputFd);

// Gives the terminal back exactly as TERMTtyEnter found it: the primary
// screen, the cursor shown, colours reset, the remembered input modes. Safe
// to call more than once, and from a signal handler (it only writes and sets
// the terminal's attributes).
void TERMTtyRestore();

// Writes all of size bytes to fd, retrying after signals. False on an error
// (a closed terminal).
bool TERMWrite(int fd, const char* bytes, size_t size);
