// The per-frame render: every cell of the text screen drawn through the font.
//
// The plain algorithm is one FONTPutChar per cell, at (8 * col, 8 * row). This
// gives the same pixels with less work per cell: the grid is clipped to the
// image once, and what FONTPutChar works out at every call (the glyph's place
// on the sheet, its clipping against the sheet) is worked out once per code
// and per call, together with which of the glyph's rows hold ink. A glyph
// without ink, like the blank that fills most of every frame, then costs one
// table look-up, and the rows with ink go to the row copy of the blit kernel
// that IMGBlit and FONTPutChar use. Whole 8 x 8 glyphs of cells wholly inside
// the image take a short path; every other glyph (other cell sizes, cells cut
// by the image's edge, codes past 255) is clipped against the image on its
// own. The sheet is read anew at every call, so whatever it holds now is drawn.
//
// A missing font, sheet, image or pixel array takes the plain path, which
// makes FONTPutChar's error reports; so does an image that is its own sheet,
// whose cells must see what earlier cells drew.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "demo/demo.h"
#include "img/blit.h"

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
  for (int32_t r = 0; r < rows; ++r, s += sheetWidth) {
    bool blank;
#if defined(__SSE2__)
    if (n == kCell) {
      const __m128i any = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4)));
      blank = _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) ==
              0xFFFF;
      ink |= uint64_t{!blank} << r;
      continue;
    }
#endif
    uint32_t any = 0;
    for (int32_t i = 0; i < n; ++i) any |= s[i];
    blank = any == 0;
    ink |= uint64_t{!blank} << r;
  }
  return ink;
}

// The glyph of code, placed and clipped as FONTPutChar places and IMGBlit
// clips it against the sheet.
Glyph Describe(const Image* sheet, const Font* font, int32_t code) {
  Glyph g{nullptr, 0, 0, 0, 0, 0};
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
  if (gy < INT32_MIN || gy > INT32_MAX) return g;
  const int64_t i0 = std::max<int64_t>(0, -gx);
  const int64_t i1 = std::min<int64_t>(font->cellWidth, sw - gx);
  const int64_t j0 = std::max<int64_t>(0, -gy);
  const int64_t j1 = std::min<int64_t>(font->cellHeight, sh - gy);
  if (i1 <= i0 || j1 <= j0) return g;
  g.source = sheet->pixels + (gy + j0) * sw + gx + i0;
  g.column = static_cast<int32_t>(i0);
  g.row = static_cast<int32_t>(j0);
  g.width = static_cast<int32_t>(i1 - i0);
  g.rows = static_cast<int32_t>(j1 - j0);
  if (g.rows > kMaskRows) {
    g.ink = kGeneral | kRowBits;
    return g;
  }
  g.ink = InkRows(g.source, static_cast<size_t>(sw), g.width, g.rows);
  const bool whole8 = g.column == 0 && g.row == 0 && g.width == kCell &&
                      g.rows <= kCell && font->cellWidth == kCell &&
                      font->cellHeight <= kCell;
  if (g.ink && !whole8) g.ink |= kGeneral;
  return g;
}

// Copies the rows named in ink (bit r: row r) of a glyph 8 pixels wide.
inline void DrawRows8(const uint32_t* s, size_t sheetWidth, uint32_t* d,
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
  const size_t sheetWidth = static_cast<size_t>(sheet->width);
  const size_t imageWidth = static_cast<size_t>(width);
  for (int32_t r = 0; r < rows; ++r) {
    const int32_t* cell = screen->cells + size_t(r) * size_t(screen->cols);
    uint32_t* line = image->pixels + size_t(r) * kCell * imageWidth;
    const int32_t whole = r < wholeRows ? wholeCols : 0;
    for (int32_t c = 0; c < cols; ++c) {
      const uint32_t code = static_cast<uint32_t>(cell[c]);  // negative: huge
      if (code >= kCached) {
        const Glyph g = Describe(sheet, font, cell[c]);
        if (g.ink) DrawGeneral(g, sheetWidth, image, c * kCell, r * kCell);
        continue;
      }
      uint64_t ink = inkOf[code];
      if (!ink) continue;  // the blank, most of the time
      if (ink == kUnread) {
        glyphOf[code] = Describe(sheet, font, static_cast<int32_t>(code));
        sourceOf[code] = glyphOf[code].source;
        ink = inkOf[code] = glyphOf[code].ink;
        if (!ink) continue;
      }
      if (!(ink & kGeneral) && c < whole)
        DrawRows8(sourceOf[code], sheetWidth, line + size_t(c) * kCell,
                  imageWidth, ink);
      else
        DrawGeneral(glyphOf[code], sheetWidth, image, c * kCell, r * kCell);
    }
  }
}
