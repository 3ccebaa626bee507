// The text screen: a grid of signed 32-bit character cells with clipped
// drawing primitives and a plain-text dump.
#include "textscreen/textscreen.h"

#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr int32_t kBlank = 32;

// The screen the scroller binds to: the one SCRNew made last.
TextScreen* current = nullptr;

// Stores value at (col, row) when the cell exists. Takes 64-bit positions so
// that callers can step past the 32-bit range without overflowing.
void Put(TextScreen* screen, int64_t col, int64_t row, int32_t value) {
  if (col < 0 || row < 0 || col >= screen->cols || row >= screen->rows) return;
  screen->cells[row * screen->cols + col] = value;
}

}  // namespace

TextScreen* SCRNew() {
  auto* screen = new (std::nothrow) TextScreen{};
  if (!screen) return nullptr;
  SCRResize(screen, 80, 25);
  if (screen->cols != 80) {  // the cells could not be allocated
    delete screen;
    return nullptr;
  }
  current = screen;
  return screen;
}

TextScreen* SCRCurrent() { return current; }

void SCRFree(TextScreen** screen) {
  if (!screen || !*screen) return;
  TextScreen* gone = *screen;
  if (gone == current) current = nullptr;
  delete[] gone->cells;
  delete gone;
  *screen = nullptr;
}

void SCRResize(TextScreen* screen, int32_t cols, int32_t rows) {
  if (!screen) return;
  delete[] screen->cells;
  screen->cells = nullptr;
  screen->cols = 0;
  screen->rows = 0;
  if (cols < 0 || rows < 0) return;
  // Every cell index must fit in 32 bits.
  const int64_t n = static_cast<int64_t>(cols) * rows;
  if (n > INT32_MAX) return;
  screen->cells = new (std::nothrow) int32_t[static_cast<size_t>(n)]();
  if (!screen->cells) return;
  screen->cols = cols;
  screen->rows = rows;
  SCRFill(screen, kBlank);
}

void SCRFill(TextScreen* screen, int32_t value) {
  if (!screen) return;
  for (int64_t i = static_cast<int64_t>(screen->cols) * screen->rows; i-- > 0;)
    screen->cells[i] = value;
}

void SCRSet(TextScreen* screen, int32_t col, int32_t row, int32_t value) {
  if (!screen) return;
  Put(screen, col, row, value);
}

void SCRPutChar(TextScreen* screen, int32_t col, int32_t row, int8_t ch) {
  SCRSet(screen, col, row, ch);
}

void SCRPrint(TextScreen* screen, int32_t col, int32_t row, const char* text) {
  if (!screen || !text) return;
  int64_t c = col, r = row;
  for (; *text; ++text) {
    if (*text == '\n') {
      c = col;
      ++r;
    } else {
      Put(screen, c++, r, static_cast<int8_t>(*text));
    }
  }
}

void SCRHLine(TextScreen* screen, int32_t col0, int32_t col1, int32_t row,
              int8_t ch) {
  if (!screen) return;
  if (col0 > col1) std::swap(col0, col1);
  if (row < 0 || row >= screen->rows || col0 >= screen->cols || col1 < 0)
    return;
  if (col0 < 0) col0 = 0;
  if (col1 > screen->cols - 1) col1 = screen->cols - 1;
  int32_t* cell = screen->cells + static_cast<int64_t>(row) * screen->cols;
  for (int32_t c = col0; c <= col1; ++c) cell[c] = ch;
}

void SCRVLine(TextScreen* screen, int32_t row0, int32_t row1, int32_t col,
              int8_t ch) {
  if (!screen) return;
  if (row0 > row1) std::swap(row0, row1);
  if (col < 0 || col >= screen->cols || row0 >= screen->rows || row1 < 0)
    return;
  if (row0 < 0) row0 = 0;
  if (row1 > screen->rows - 1) row1 = screen->rows - 1;
  for (int32_t r = row0; r <= row1; ++r)
    screen->cells[static_cast<int64_t>(r) * screen->cols + col] = ch;
}

void SCRBox(TextScreen* screen, int32_t col0, int32_t row0, int32_t col1,
            int32_t row1, int8_t ch) {
  if (!screen) return;
  if (col0 > col1) std::swap(col0, col1);
  if (row0 > row1) std::swap(row0, row1);
  if (col1 < 0 || col0 >= screen->cols || row1 < 0 || row0 >= screen->rows)
    return;
  if (row0 < 0) row0 = 0;
  if (col0 < 0) col0 = 0;
  if (row1 > screen->rows - 1) row1 = screen->rows - 1;
  for (int32_t r = row0; r <= row1; ++r) SCRHLine(screen, col0, col1, r, ch);
}

// The stepper visits every column (shallow) or row (steep) of the line, but
// only the steps that land inside the grid can set a cell; the loops below
// start and stop at the grid's edge and compute the fixed-point position of
// the first visible step directly. Positions are 64-bit, so the products and
// sums cannot overflow, and for every line the 32-bit stepper handles without
// overflow the cells are exactly the same.
void SCRLine(TextScreen* screen, int32_t col0, int32_t row0, int32_t col1,
             int32_t row1, int8_t ch) {
  if (!screen) return;
  if (col0 > col1) {
    std::swap(col0, col1);
    std::swap(row0, row1);
  }
  const int64_t cols = screen->cols, rows = screen->rows;
  if (col1 < 0 || col0 >= cols || (row0 < 0 && row1 < 0) ||
      (row0 >= rows && row1 >= rows))
    return;
  const int64_t dx = static_cast<int64_t>(col1) - col0;
  const int64_t dy = static_cast<int64_t>(row1) - row0;
  if (dx == 0 || dy == 0) return;
  const int64_t ady = dy < 0 ? -dy : dy;

  if (dx == ady) {  // exact diagonals keep only their first cell
    Put(screen, col0, row0, ch);
  } else if (dx > ady) {  // shallow: one cell per column
    const int64_t slope = dy * 65536 / dx;
    const int64_t first = col0 < 0 ? 0 : col0;
    const int64_t last = col1 < cols - 1 ? col1 : cols - 1;
    int64_t r =
        static_cast<int64_t>(row0) * 65536 + 0x8000 + (first - col0) * slope;
    for (int64_t c = first; c <= last; ++c, r += slope)
      Put(screen, c, r >> 16, ch);
  } else if (dy > 0) {  // steep, going down: one cell per row
    const int64_t slope = dx * 65536 / dy;
    const int64_t first = row0 < 0 ? 0 : row0;
    const int64_t last = row1 < rows - 1 ? row1 : rows - 1;
    int64_t q =
        static_cast<int64_t>(col0) * 65536 + 0x8000 + (first - row0) * slope;
    for (int64_t r = first; r <= last; ++r, q += slope)
      Put(screen, q >> 16, r, ch);
  } else {  // steep, going up: the mirror image of going down
    const int64_t slope = dx * 65536 / ady;
    const int64_t first = row0 > rows - 1 ? rows - 1 : row0;
    const int64_t last = row1 < 0 ? 0 : row1;
    int64_t q =
        static_cast<int64_t>(col0) * 65536 + 0x8000 + (row0 - first) * slope;
    for (int64_t r = first; r >= last; --r, q += slope)
      Put(screen, q >> 16, r, ch);
  }
}

void SCRDump(TextScreen* screen, FILE* stream) {
  if (!screen || !stream) return;
  std::fputc('\n', stream);
  for (int32_t r = 0; r < screen->rows; ++r) {
    if (r > 0) std::fputc('\n', stream);
    const int32_t* cell =
        screen->cells + static_cast<int64_t>(r) * screen->cols;
    for (int32_t c = 0; c < screen->cols - 1; ++c)
      std::fputc(cell[c] & 0xFF, stream);
  }
  screen->dumps =
      static_cast<int32_t>(static_cast<uint32_t>(screen->dumps) + 1);
}
