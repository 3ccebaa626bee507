// The view: what the terminal shows, and the bytes that change it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "term/term.h"

namespace {

constexpr int kCubeLevels[6] = {0, 95, 135, 175, 215, 255};

int32_t Squared(int32_t v) { return v * v; }

// Synchronized output (DEC private mode 2026): the terminal holds what comes
// between these and shows it at once.
constexpr char kBeginFrame[] = "\x1b[?2026h";
constexpr char kEndFrame[] = "\x1b[?2026l";

// The bytes of one draw, in the view's buffer. A draw never takes more than
// TERMDrawBound; a write past the end is refused all the same and noted.
struct Sink {
  char* p;
  char* end;
  bool overflow = false;

  void push_back(char c) {
    if (p < end)
      *p++ = c;
    else
      overflow = true;
  }
  void append(const char* bytes, size_t n) {
    if (static_cast<size_t>(end - p) < n) {
      overflow = true;
      return;
    }
    std::memcpy(p, bytes, n);
    p += n;
  }
  void append(size_t n, char c) {
    if (static_cast<size_t>(end - p) < n) {
      overflow = true;
      return;
    }
    std::memset(p, c, n);
    p += n;
  }
  template <size_t N>
  void append(const char (&text)[N]) {
    append(text, N - 1);
  }
};

// The cube level nearest to a channel value.
int NearestLevel(int32_t v) {
  int best = 0;
  for (int i = 1; i < 6; ++i)
    if (std::abs(kCubeLevels[i] - v) < std::abs(kCubeLevels[best] - v))
      best = i;
  return best;
}

// The colour as the terminal will show it: the palette entry, or the 24-bit
// value itself.
int64_t ShownColour(TermColour colour, uint32_t ink) {
  switch (colour) {
    case TermColour::Palette:
      return TERMNearest256(ink);
    case TermColour::Direct:
      return ink & 0xFFFFFFu;
    case TermColour::None:
      break;
  }
  return 0;
}

void AppendNumber(Sink* out, int32_t n) {
  char digits[12];
  int length = std::snprintf(digits, sizeof digits, "%d", n);
  out->append(digits, static_cast<size_t>(length));
}

size_t Digits(int32_t n) {
  size_t d = 1;
  for (; n >= 10; n /= 10) ++d;
  return d;
}

// ESC [ n letter: a cursor move by n (n >= 1).
void AppendMove(Sink* out, int32_t n, char letter) {
  out->append("\x1b[");
  if (n != 1) AppendNumber(out, n);
  out->push_back(letter);
}

size_t MoveCost(int32_t n) { return n == 1 ? 3 : 3 + Digits(n); }

// Ink and background: SGR 38 and 48, both in one sequence.
void AppendColour(Sink* out, TermColour colour, uint32_t ink,
                  bool background) {
  if (colour == TermColour::None) return;
  out->append("\x1b[");
  if (colour == TermColour::Palette) {
    out->append("38;5;");
    AppendNumber(out, TERMNearest256(ink));
    if (background) out->append(";48;5;16");
  } else {
    out->append("38;2;");
    AppendNumber(out, (ink >> 16) & 0xFF);
    out->push_back(';');
    AppendNumber(out, (ink >> 8) & 0xFF);
    out->push_back(';');
    AppendNumber(out, ink & 0xFF);
    if (background) out->append(";48;2;0;0;0");
  }
  out->push_back('m');
}

// Moves the cursor to (col, row) by the shortest of: an absolute move; on the
// same row, rewriting the cells in between (they are unchanged, so this shows
// what is there already) or a relative move; from a row above, line feeds or
// a relative move down, then along the row. The cells of the target row left
// of col are unchanged (the draw visits cells in order), so they too may be
// rewritten instead of skipped.
void MoveTo(TermView* v, const char* row, int32_t col, int32_t r,
            Sink* out) {
  const int32_t cc = v->cursorCol, cr = v->cursorRow;
  if (cr == r && cc == col) return;
  // Absolute: ESC [ row ; col H, with the defaults of 1 left out.
  size_t best = 3 + (r || col ? Digits(r + 1) : 0) +
                (col ? 1 + Digits(col + 1) : 0);
  enum { kAbsolute, kAlong, kDown } how = kAbsolute;
  bool fromStart = false;  // kDown: a carriage return first
  // After the last column the terminal waits to wrap: only an absolute
  // move or a carriage return are sure to land where they say.
  const bool known = cc >= 0 && cr >= 0 && cc < v->termCols;
  auto along = [&](int32_t from) -> size_t {  // cost from column from to col
    if (from == col) return 0;
    if (from < col) return std::min<size_t>(col - from, MoveCost(col - from));
    return std::min<size_t>(from - col, MoveCost(from - col));
  };
  if (known && cr == r) {
    size_t cost = along(cc);
    if (cost < best) best = cost, how = kAlong;
  }
  if (cr >= 0 && cc >= 0 && r > cr) {
    const size_t down = std::min<size_t>(r - cr, MoveCost(r - cr));
    if (known) {
      size_t cost = down + along(cc);
      if (cost < best) best = cost, how = kDown, fromStart = false;
    }
    size_t cost = 1 + down + std::min<size_t>(col, col ? MoveCost(col) : 0);
    if (cost < best) best = cost, how = kDown, fromStart = true;
  }
  if (how == kAbsolute) {
    out->append("\x1b[");
    if (r || col) AppendNumber(out, r + 1);
    if (col) {
      out->push_back(';');
      AppendNumber(out, col + 1);
    }
    out->push_back('H');
  } else {
    int32_t from = cc;
    if (how == kDown) {
      if (fromStart) {
        out->push_back('\r');
        from = 0;
      }
      const int32_t dy = r - cr;
      if (static_cast<size_t>(dy) <= MoveCost(dy))
        out->append(static_cast<size_t>(dy), '\n');
      else
        AppendMove(out, dy, 'B');
    }
    if (from < col) {
      if (static_cast<size_t>(col - from) <= MoveCost(col - from))
        out->append(row + from, static_cast<size_t>(col - from));
      else
        AppendMove(out, col - from, 'C');
    } else if (from > col) {
      if (static_cast<size_t>(from - col) <= MoveCost(from - col))
        out->append(static_cast<size_t>(from - col), '\b');
      else
        AppendMove(out, from - col, 'D');
    }
  }
  v->cursorCol = col;
  v->cursorRow = r;
}

}  // namespace

TermColour TERMChooseColour(const char* colorterm, const char* noColor,
                            const char* term) {
  if (noColor && *noColor) return TermColour::None;
  if (!term || !*term || std::strcmp(term, "dumb") == 0 ||
      std::strncmp(term, "vt", 2) == 0)
    return TermColour::None;
  if (colorterm && (std::strcmp(colorterm, "truecolor") == 0 ||
                    std::strcmp(colorterm, "24bit") == 0))
    return TermColour::Direct;
  return TermColour::Palette;
}

int32_t TERMNearest256(uint32_t rgb) {
  const int32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  const int ri = NearestLevel(r), gi = NearestLevel(g), bi = NearestLevel(b);
  const int32_t cube = Squared(kCubeLevels[ri] - r) +
                       Squared(kCubeLevels[gi] - g) +
                       Squared(kCubeLevels[bi] - b);
  // Grey k (0-23) is 8 + 10k.
  const int32_t mean = (r + g + b) / 3;
  const int32_t k = std::clamp((mean - 3) / 10, 0, 23);
  int32_t bestGrey = k;
  for (int32_t j = std::max(0, k - 1); j <= std::min(23, k + 1); ++j) {
    const int32_t level = 8 + 10 * j, best = 8 + 10 * bestGrey;
    if (Squared(level - r) + Squared(level - g) + Squared(level - b) <
        Squared(best - r) + Squared(best - g) + Squared(best - b))
      bestGrey = j;
  }
  const int32_t level = 8 + 10 * bestGrey;
  const int32_t grey = Squared(level - r) + Squared(level - g) +
                       Squared(level - b);
  if (grey < cube) return 232 + bestGrey;
  return 16 + 36 * ri + 6 * gi + bi;
}

TermView* TERMNew(int32_t cols, int32_t rows, int32_t termCols,
                  int32_t termRows, TermColour colour) {
  if (cols <= 0 || rows <= 0 || cols > 4096 || rows > 4096) return nullptr;
  auto* view = new (std::nothrow) TermView{};
  if (!view) return nullptr;
  view->shown = new (std::nothrow) char[static_cast<size_t>(cols) * rows];
  view->outCapacity = TERMDrawBound(cols, rows);
  view->out = new (std::nothrow) char[view->outCapacity];
  if (!view->shown || !view->out) {
    delete[] view->shown;
    delete[] view->out;
    delete view;
    return nullptr;
  }
  view->cols = cols;
  view->rows = rows;
  view->colour = colour;
  view->ink = -1;
  TERMResize(view, termCols, termRows);
  return view;
}

void TERMFree(TermView** view) {
  if (!view || !*view) return;
  delete[] (*view)->shown;
  delete[] (*view)->out;
  delete *view;
  *view = nullptr;
}

void TERMResize(TermView* view, int32_t termCols, int32_t termRows) {
  if (!view) return;
  view->termCols = std::max(0, termCols);
  view->termRows = std::max(0, termRows);
  view->redraw = true;
}

bool TERMDraw(TermView* v, const int32_t* cells, uint32_t ink) {
  if (!v || !cells) return false;
  Sink sink{v->out, v->out + v->outCapacity};
  Sink* out = &sink;
  if (v->synchronized) out->append(kBeginFrame);
  const size_t start = static_cast<size_t>(sink.p - v->out);
  const int32_t visCols = std::min(v->cols, v->termCols);
  const int32_t visRows = std::min(v->rows, v->termRows);
  if (visCols < v->cols || visRows < v->rows) {
    v->cut = true;
    v->cutCols = v->termCols;
    v->cutRows = v->termRows;
  }
  const int64_t shownInk = ShownColour(v->colour, ink);
  bool recolour = false;
  if (v->redraw) {
    out->append("\x1b[0m");
    AppendColour(out, v->colour, ink, true);
    out->append("\x1b[2J");  // in the background colour just set
    std::memset(v->shown, ' ', static_cast<size_t>(v->cols) * v->rows);
    v->cursorCol = v->cursorRow = -1;
    v->ink = shownInk;
    v->redraw = false;
  } else if (v->colour != TermColour::None && shownInk != v->ink) {
    AppendColour(out, v->colour, ink, false);
    v->ink = shownInk;
    recolour = true;
  }
  for (int32_t r = 0; r < visRows; ++r) {
    const int32_t* row = cells + static_cast<size_t>(r) * v->cols;
    char* shown = v->shown + static_cast<size_t>(r) * v->cols;
    for (int32_t c = 0; c < visCols; ++c) {
      const char want = TERMGlyph(row[c]);
      if (want == shown[c] && !(recolour && want != ' ')) continue;
      MoveTo(v, shown, c, r, out);
      out->push_back(want);
      shown[c] = want;
      ++v->cursorCol;
    }
  }
  if (static_cast<size_t>(sink.p - v->out) == start)
    sink.p = v->out;  // nothing changed: nothing to bracket either
  else if (v->synchronized)
    out->append(kEndFrame);
  // The bound holds every draw; should it not, the terminal would not show
  // what the view took it to show, so the next draw redraws everything.
  if (sink.overflow) {
    v->redraw = true;
    sink.p = v->out;
  }
  v->outSize = static_cast<size_t>(sink.p - v->out);
  return true;
}

size_t TERMDrawBound(int32_t cols, int32_t rows) {
  // Per cell at most an absolute move (ESC [ row ; col H, up to 4 digits
  // each) and the character; once per draw the brackets, the reset, the
  // colour of the ink and the background and the clear.
  return static_cast<size_t>(cols) * static_cast<size_t>(rows) * 13 + 128;
}
