// The per-frame render: every cell of the text screen drawn through the font.
//
// The plain algorithm is one FONTPutChar per cell, at (8 * col, 8 * row). This
// gives the same pixels with less work per cell: the grid is clipped to the
// image once, and what FONTPutChar works out at every call (the glyph's place
// on the sheet, its clipping against the sheet) is worked out once per code
// and per call, together with which of the glyph's rows hold ink. The cells
// that hold the first inkless code met, the blank that fills most of every
// frame, are passed over 64 at a time by comparing codes; any other inkless
// glyph costs one table look-up, and the rows with ink go to the row copy of
// the blit kernel that IMGBlit and FONTPutChar use. Whole 8 x 8 glyphs of
// cells wholly inside the image take a short path; every other glyph (other
// cell sizes, cells cut by the image's edge, codes past 255) is clipped
// against the image on its own. The sheet is read anew at every call, so
// whatever it holds now is drawn.
//
// A missing font, sheet, image or pixel array takes the plain path, which
// makes FONTPutChar's error reports; so does an image that is its own sheet,
// whose cells must see what earlier cells drew.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "render/render.h"
#include "img/blit_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int32_t kCell = 8;       // cell pitch in pixels, both ways
constexpr uint32_t kCached = 256;  // codes 0 .. 255 are looked up in a table

// Where a code's glyph is: the part of its cell rectangle that lies inside
// the sheet, at (column, row) of the cell, and which of its rows hold ink.
struct Glyph {
  const uint32_t* source;  // the first pixel of that part
  int32_t column, row;
  int32_t width, rows;
  uint64_t ink;  // see below; 0: nothing to draw
};

// Ink bits: bit r (r < 32) for row r of the part, and kGeneral for a glyph
// other than a whole 8 x 8 one (or of 8 rows or fewer, cut by the sheet),
// which takes the general path. Glyphs of more than 32 rows are drawn whole.
constexpr int kMaskRows = 32;
constexpr uint64_t kRowBits = 0xFFFFFFFFu;
constexpr uint64_t kGeneral = uint64_t{1} << 32;

// Which of the first rows rows of the n pixels at s, rows sheetWidth apart,
// have a pixel other than 0: bit r for row r.
uint64_t InkRows(const uint32_t* s, size_t sheetWidth, int32_t n,
                 int32_t rows) {
  uint64_t ink = 0;
#if defined(__SSE2__)
  // Rows of 8, the common glyph, two loads each; a whole 8 x 8 glyph with a
  // loop the compiler unrolls.
  const auto inked8 = [](const uint32_t* row) {
    const __m128i any =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4)));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) !=
           0xFFFF;
  };
  if (n == kCell && rows == kCell) {
    for (int32_t r = 0; r < kCell; ++r)
      ink |= uint64_t{inked8(s + size_t(r) * sheetWidth)} << r;
    return ink;
  }
  if (n == kCell) {
    for (int32_t r = 0; r < rows; ++r, s += sheetWidth)
      ink |= uint64_t{inked8(s)} << r;
    return ink;
  }
#endif
  for (int32_t r = 0; r < rows; ++r, s += sheetWidth) {
    uint32_t any = 0;
    for (int32_t i = 0; i < n; ++i) any |= s[i];
    ink |= uint64_t{any != 0} << r;
  }
  return ink;
}

// Cells are passed over in spans of up to 64, one bit each.
constexpr int32_t kSpan = 64;

// Which of the n (at most kSpan) cells at cells hold a code other than code:
// bit i for cell i.
uint64_t Differing(const int32_t* cells, int32_t n, int32_t code) {
  uint64_t bits = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi32(code);
  for (; i + 4 <= n; i += 4) {
    const __m128i same = _mm_cmpeq_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + i)), v);
    bits |= uint64_t(~_mm_movemask_ps(_mm_castsi128_ps(same)) & 0xF) << i;
  }
#endif
  for (; i < n; ++i) bits |= uint64_t{cells[i] != code} << i;
  return bits;
}

// The glyph of code, placed and clipped as FONTPutChar places and IMGBlit
// clips it against the sheet, written into *g field by field (the caller
// reads back single fields at once, which a whole-struct copy would delay).
void Describe(const Image* sheet, const Font* font, int32_t code, Glyph* g) {
  g->ink = 0;
  const int64_t sw = sheet->width, sh = sheet->height;
  // 64 bits, as FONTPutChar works; 32-bit division where that is exact.
  const int64_t p = static_cast<int64_t>(code) * font->cellWidth;
  int64_t quotient, gx;
  if (p >= INT32_MIN && p <= INT32_MAX) {
    quotient = static_cast<int32_t>(p) / sheet->width;
    gx = static_cast<int32_t>(p) % sheet->width;
  } else {
    quotient = p / sw;
    gx = p % sw;
  }
  const int64_t gy = quotient * font->cellHeight;
  if (gy < INT32_MIN || gy > INT32_MAX) return;
  const int64_t i0 = std::max<int64_t>(0, -gx);
  const int64_t i1 = std::min<int64_t>(font->cellWidth, sw - gx);
  const int64_t j0 = std::max<int64_t>(0, -gy);
  const int64_t j1 = std::min<int64_t>(font->cellHeight, sh - gy);
  if (i1 <= i0 || j1 <= j0) return;
  g->source = sheet->pixels + (gy + j0) * sw + gx + i0;
  g->column = static_cast<int32_t>(i0);
  g->row = static_cast<int32_t>(j0);
  g->width = static_cast<int32_t>(i1 - i0);
  g->rows = static_cast<int32_t>(j1 - j0);
  if (g->rows > kMaskRows) {
    g->ink = kGeneral | kRowBits;
    return;
  }
  g->ink = InkRows(g->source, static_cast<size_t>(sw), g->width, g->rows);
  const bool whole8 = g->column == 0 && g->row == 0 && g->width == kCell &&
                      g->rows <= kCell && font->cellWidth == kCell &&
                      font->cellHeight <= kCell;
  if (g->ink && !whole8) g->ink |= kGeneral;
}

// Copies the rows named in ink (bit r: row r) of a glyph 8 pixels wide. Kept
// out of line: inlined into the render's loop, its strides no longer fit in
// registers and every row reloads one from the stack.
[[gnu::noinline]] void DrawRows8(const uint32_t* s, size_t sheetWidth, uint32_t* d,
                      size_t imageWidth, uint64_t ink) {
  for (int r = 0; r < kCell; ++r, s += sheetWidth, d += imageWidth)
    if (ink >> r & 1) img_internal::BlitRow(s, d, kCell);
}

// Any glyph, cut to what lies inside an image of width x height when its cell
// is at (x, y).
void DrawGeneral(const Glyph& g, size_t sheetWidth, Image* image, int64_t x,
                 int64_t y) {
  x += g.column;
  y += g.row;
  const int64_t w = std::min<int64_t>(g.width, image->width - x);
  const int64_t h = std::min<int64_t>(g.rows, image->height - y);
  if (w <= 0 || h <= 0) return;
  const size_t imageWidth = static_cast<size_t>(image->width);
  uint32_t* d = image->pixels + size_t(y) * imageWidth + size_t(x);
  if (g.rows > kMaskRows) {
    img_internal::BlitRect(g.source, sheetWidth, d, imageWidth, w, h);
    return;
  }
  const uint32_t* s = g.source;
  for (int64_t r = 0; r < h; ++r, s += sheetWidth, d += imageWidth)
    if (g.ink >> r & 1) img_internal::BlitRow(s, d, w);
}

// The plain algorithm: one FONTPutChar per cell, in storage order. Positions
// wrap like the font's own 32-bit arithmetic.
void RenderPlain(Image* image, const TextScreen* screen, const Font* font) {
  const int32_t* cell = screen->cells;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      FONTPutChar(font, *cell++, static_cast<int32_t>(uint32_t(c) * kCell),
                  static_cast<int32_t>(uint32_t(r) * kCell), image);
}

}  // namespace

void DEMORender(Image* image, const TextScreen* screen, const Font* font) {
  if (!screen) return;
  const Image* sheet = font ? font->glyphs : nullptr;
  if (!sheet || !image || !image->pixels || !sheet->pixels ||
      sheet->pixels == image->pixels) {
    RenderPlain(image, screen, font);
    return;
  }
  if (sheet->width <= 0 || screen->cols <= 0 || screen->rows <= 0) return;

  // The grid clipped to the image: the cells that start inside it, and of
  // those the ones wholly inside, which need no clipping of their own.
  const int32_t width = image->width, height = image->height;
  const int32_t cols =
      width > 0 ? std::min(screen->cols, (width - 1) / kCell + 1) : 0;
  const int32_t rows =
      height > 0 ? std::min(screen->rows, (height - 1) / kCell + 1) : 0;
  const int32_t wholeCols = std::clamp(width / kCell, 0, cols);
  const int32_t wholeRows = std::clamp(height / kCell, 0, rows);

  // The glyphs of codes 0 .. 255, worked out when first met in this call;
  // kUnread marks those not met yet (it passes the blank test).
  constexpr uint64_t kUnread = ~uint64_t{0};
  std::array<uint64_t, kCached> inkOf;
  inkOf.fill(kUnread);
  std::array<const uint32_t*, kCached> sourceOf;
  std::array<Glyph, kCached> glyphOf;
  // The first code met whose glyph has no ink: from then on the cells that
  // hold it, the blank around the text on most screens, are passed over a
  // span of cells at a time without being looked at one by one.
  bool haveBlank = false;
  int32_t blank = 0;
  const size_t sheetWidth = static_cast<size_t>(sheet->width);
  const size_t imageWidth = static_cast<size_t>(width);
  // With cells 8 pixels wide and at most 8 high on a sheet whose width is a
  // multiple of 8, the glyphs form a grid, and those of the first gridCodes
  // codes lie wholly inside the sheet: such a glyph is found with one
  // division and needs none of Describe's clipping.
  const int32_t cellHeight = font->cellHeight;
  const bool grid = font->cellWidth == kCell && cellHeight > 0 &&
                    cellHeight <= kCell && sheet->width % kCell == 0;
  const uint32_t perRow = static_cast<uint32_t>(sheet->width / kCell);
  const uint32_t gridCodes =
      grid ? static_cast<uint32_t>(std::clamp<int64_t>(
                 int64_t{perRow} * (sheet->height / cellHeight), 0, kCached))
           : 0;
  for (int32_t r = 0; r < rows; ++r) {
    const int32_t* cell = screen->cells + size_t(r) * size_t(screen->cols);
    uint32_t* line = image->pixels + size_t(r) * kCell * imageWidth;
    const int32_t whole = r < wholeRows ? wholeCols : 0;
    for (int32_t c0 = 0; c0 < cols; c0 += kSpan) {
      const int32_t n = std::min(kSpan, cols - c0);
      uint64_t todo = haveBlank ? Differing(cell + c0, n, blank)
                                : ~uint64_t{0} >> (kSpan - n);
      for (; todo; todo &= todo - 1) {
        const int32_t c = c0 + std::countr_zero(todo);
        const uint32_t code = static_cast<uint32_t>(cell[c]);  // negative: huge
        if (code >= kCached) {
          Glyph g;
          Describe(sheet, font, cell[c], &g);
          if (g.ink) {
            DrawGeneral(g, sheetWidth, image, c * kCell, r * kCell);
          } else if (!haveBlank) {
            haveBlank = true;
            blank = cell[c];
          }
          continue;
        }
        uint64_t ink = inkOf[code];
        if (ink == kUnread) [[unlikely]] {
          Glyph& g = glyphOf[code];
          if (code < gridCodes) {
            g.source = sheet->pixels +
                       size_t(code / perRow) * size_t(cellHeight) * sheetWidth +
                       size_t(code % perRow) * kCell;
            g.column = g.row = 0;
            g.width = kCell;
            g.rows = cellHeight;
            g.ink = InkRows(g.source, sheetWidth, kCell, cellHeight);
          } else {
            Describe(sheet, font, static_cast<int32_t>(code), &g);
          }
          sourceOf[code] = g.source;
          ink = inkOf[code] = g.ink;
        }
        if (!ink) {
          if (!haveBlank) {
            haveBlank = true;
            blank = cell[c];
          }
          continue;
        }
        if (!(ink & kGeneral) && c < whole)
          DrawRows8(sourceOf[code], sheetWidth, line + size_t(c) * kCell,
                    imageWidth, ink);
        else
          DrawGeneral(glyphOf[code], sheetWidth, image, c * kCell, r * kCell);
      }
    }
  }
}
