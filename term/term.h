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
// lone Escape from the escape sequences of arrow and function keys. It keeps
// its place in a sequence from one read to the next, so a sequence of any
// length is swallowed whole however the reads cut it.
//
// The tty part puts the terminal into raw mode on the alternate screen with
// the cursor hidden and gives it back exactly as it was. The guard owns the
// disposition of every signal while the terminal is taken: a quit, a resize,
// a stop and a continue are noted for the program; every signal that would
// end the process gives the terminal back first.
//
// The link writes each frame without blocking, so a slow terminal never
// holds the program up; the cast part encodes frames as an asciicast v2
// recording (one JSON line per event).
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
  bool synchronized;  // each draw is bracketed by synchronized-output mode
  char* out;          // the last draw's bytes (outSize of them)
  size_t outSize, outCapacity;
};

// A view of a cols x rows grid on a terminal of termCols x termRows, whose
// first draw redraws everything; none on a bad size or without memory. The
// view owns a buffer that holds the largest draw there can be, so drawing
// never allocates. Draws are not bracketed until synchronized is set.
[[nodiscard]] TermView* TERMNew(int32_t cols, int32_t rows, int32_t termCols,
                                int32_t termRows, TermColour colour);
void TERMFree(TermView** view);

// The terminal now has termCols x termRows (after a resize): the next draw
// clears it and redraws everything.
void TERMResize(TermView* view, int32_t termCols, int32_t termRows);

// Puts into view->out (view->outSize bytes) what makes the terminal show
// cells (cols * rows codes) drawn in ink (0x00RRGGBB; ignored without colour)
// on black: only the cells that differ from what it shows, unless a redraw is
// due; nothing at all when nothing differs. A change of the colour as the
// terminal shows it rewrites every visible non-blank cell. With synchronized
// set, bytes that change something are bracketed by synchronized-output mode
// (ESC [ ? 2026 h ... ESC [ ? 2026 l), so that a terminal that knows the mode
// shows the frame whole and others ignore it. The cursor is left wherever the
// last cell written put it. The view then takes it that the terminal shows
// the cells: the bytes must reach it. False (the view unchanged) without a
// view or cells.
bool TERMDraw(TermView* view, const int32_t* cells, uint32_t ink);

// The most bytes one draw of a cols x rows grid can take.
size_t TERMDrawBound(int32_t cols, int32_t rows);

// The character a cell code is shown as.
inline char TERMGlyph(int32_t code) {
  return code >= 32 && code <= 126 ? static_cast<char>(code) : ' ';
}

// ---- keys --------------------------------------------------------------------

// What the decoder makes of terminal input: a key code as the intro knows
// them (27 for Escape, the byte itself for every other key that sends one
// byte), or TERM_KEY_INTERRUPT for Ctrl-C.
inline constexpr int32_t TERM_KEY_INTERRUPT = -1;

// The decoder's place in the input: outside any sequence (a zero TermKeys),
// after an ESC, inside a control sequence (ESC [ ...) or after ESC O.
struct TermKeys {
  uint8_t state;
};

// Decodes bytes[0 .. n) that follow what keys has seen into at most n + 1
// keys (an ESC held from the call before may turn out to be Escape), stored
// in out; returns how many. Escape sequences (ESC [ parameters and
// intermediates, then a final byte; ESC O and one byte) and Alt combinations
// (ESC and a printable byte) give no key; bytes from 128 up (parts of
// multi-byte characters) give none either. A sequence still open at the end
// goes on with the next call's bytes.
size_t TERMDecodeKeys(TermKeys* keys, const uint8_t* bytes, size_t n,
                      int32_t* out);

// True when the bytes so far end inside what may be an escape sequence.
inline bool TERMKeysWaiting(const TermKeys* keys) { return keys->state != 0; }

// Nothing more came within the Escape time: a trailing ESC is a lone Escape
// (stored in *out, returns 1) and a cut-short sequence is dropped (returns
// 0). The decoder is then outside any sequence.
size_t TERMKeysTimeout(TermKeys* keys, int32_t* out);

// How long a lone ESC waits for the rest of a sequence, in milliseconds.
inline constexpr int TERM_ESCAPE_WAIT_MS = 40;

// ---- the terminal ------------------------------------------------------------

// The size a terminal is taken to have when it reports none (0 x 0).
inline constexpr int32_t TERM_UNKNOWN_COLS = 80;
inline constexpr int32_t TERM_UNKNOWN_ROWS = 25;

// The size of the terminal on fd; false when fd is not a terminal. A terminal
// that reports a zero width or height gets TERM_UNKNOWN_COLS x
// TERM_UNKNOWN_ROWS, and *unknown (when given) is set.
bool TERMTtySize(int fd, int32_t* cols, int32_t* rows,
                 bool* unknown = nullptr);

// Takes over the terminal: input (inputFd, when it is a terminal) in raw mode
// without echo (Ctrl-C arrives as a byte, not as a signal), output (outputFd)
// on the alternate screen with the cursor hidden. Remembers how to undo it
// for TERMTtyRestore. False if outputFd is not a terminal.
bool TERMTtyEnter(int inputFd, int outputFd);

// Gives the terminal back exactly as TERMTtyEnter found it: any sequence cut
// short by an unfinished frame cancelled, synchronized output ended, the
// primary screen, the cursor shown, colours reset, the remembered input
// modes. Safe to call more than once, and from a signal handler (it only
// writes and sets the terminal's attributes).
void TERMTtyRestore();

// Takes the terminal over again after TERMTtyRestore (after a stop), with the
// modes TERMTtyEnter set. Safe in a signal handler. False if TERMTtyEnter
// never succeeded.
bool TERMTtyResume();

// A descriptor of its own for writing to the terminal on fd, opened without
// blocking (the terminal's other descriptors, shared with the shell, keep
// their modes); -1 when it cannot be opened.
int TERMTtyOpenOutput(int fd);

// Writes all of size bytes to fd, retrying after signals. False on an error
// (a closed terminal).
bool TERMWrite(int fd, const char* bytes, size_t size);

// ---- the guard -----------------------------------------------------------------

// Takes over every signal's disposition, once, before the terminal is taken:
// - SIGINT and SIGTERM are counted as quit requests (TERMGuardTakeQuits);
// - SIGWINCH is noted as a resize (TERMGuardTakeResized);
// - SIGTSTP gives the terminal back (TERMTtyRestore) and stops the process;
//   SIGCONT takes it over again (TERMTtyResume) and asks for a full redraw
//   (TERMGuardTakeContinued);
// - every other signal that ends the process by default and can be caught
//   (SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP,
//   SIGSYS, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
//   SIGPIPE) gives the terminal back and then ends the process as that signal
//   would (its default restored, unblocked, raised again), on a stack of its
//   own so that a stack overflow is caught too.
// A signal that was ignored when the program started (nohup) stays ignored.
// Every handled signal makes TERMGuardWakeFd readable. False if the guard
// cannot be set up.
bool TERMGuardInstall();

// A descriptor that is readable after a handled signal; TERMGuardDrain
// empties it.
int TERMGuardWakeFd();
void TERMGuardDrain();

// The quit requests since the last call.
int TERMGuardTakeQuits();
// Whether the terminal was resized, or the program continued after a stop,
// since the last call.
bool TERMGuardTakeResized();
bool TERMGuardTakeContinued();

// ---- the link --------------------------------------------------------------------

// A frame on its way to the terminal, written without blocking: the frame in
// flight is finished before another one starts, so the terminal always ends
// up showing whole frames in order.
struct TermLink {
  int fd;               // written without blocking
  const char* pending;  // the rest of the frame in flight (the caller's)
  size_t pendingSize;
  int64_t bytes;    // written in all
  int64_t frames;   // started
  int64_t skipped;  // presentations that found the link busy
};

// A link to fd, which should not block (TERMTtyOpenOutput); none without
// memory.
[[nodiscard]] TermLink* TERMLinkNew(int fd);
void TERMLinkFree(TermLink** link);

// Writes what the terminal takes now of the frame in flight. False on a
// write error (a closed terminal).
bool TERMLinkFlush(TermLink* link);

// True while a frame is in flight.
inline bool TERMLinkBusy(const TermLink* link) {
  return link->pendingSize > 0;
}

// Starts writing size bytes as the next frame and writes what the terminal
// takes now; the bytes must stay as they are until the link is no longer
// busy. False on a write error, or when a frame is still in flight (nothing
// is started then).
bool TERMLinkSend(TermLink* link, const char* bytes, size_t size);

// ---- asciicast v2 ----------------------------------------------------------------

// The header line of a cast of a cols x rows terminal whose theme is text in
// fg on bg (0x00RRGGBB), ended by a line feed, into out (capacity bytes);
// returns its length, 0 if it does not fit.
size_t TERMCastHeader(int32_t cols, int32_t rows, uint32_t fg, uint32_t bg,
                      char* out, size_t capacity);

// The time of presentation k at fps presentations a second, in microseconds:
// computed from k alone, so no error piles up over a long run.
int64_t TERMCastTime(int64_t k, int32_t fps);

// The most bytes the event line of size output bytes can take.
inline size_t TERMCastEventBound(size_t size) { return 6 * size + 40; }

// The output event line of size bytes written at microseconds into the
// recording ([seconds, "o", "bytes as a JSON string"] and a line feed), into
// out (capacity bytes); returns its length, 0 if it does not fit.
size_t TERMCastEvent(int64_t microseconds, const char* bytes, size_t size,
                     char* out, size_t capacity);
