// The per-frame render: every cell of the text screen drawn through the font.
//
// The plain algorithm is one FONTPutChar per cell, at (8 * col, 8 * row). With
// the demo's font (8 x 8 cells on a sheet whose width is a multiple of 8) each
// glyph is an aligned 8 x 8 block of the sheet, so a cell that lies wholly
// inside the image can be drawn without FONTPutChar's and IMGBlit's per-call
// work and give the same pixels:
//
// - a glyph row without ink (all 0) writes nothing and is skipped; a glyph
//   without ink at all, like the blank that fills most of every frame, costs
//   one table look-up;
// - the other rows go through an 8-pixel transparent copy (SSE2 where the
//   target has it);
// - negative codes and codes past the sheet have no glyph and write nothing.
//
// Which rows of a glyph hold ink is read from the sheet on every call, for the
// glyphs the screen uses, so whatever the sheet holds now is what is drawn.
// Cells cut by the image's right or bottom edge, and every unusual case (other
// cell sizes, no sheet, no image, an image that shares memory with the sheet
// or the screen), take the plain FONTPutChar path, which also makes the same
// error reports.
#include <array>
#include <cstddef>
#include <cstdint>

#include "demo/demo.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kCell = 8;           // glyph pitch in pixels, both ways
constexpr uint32_t kCached = 256;  // codes 0 .. 255 are looked up in a table
constexpr uint32_t kUnread = ~0u;  // a table entry not read from the sheet yet

// The glyph sheet seen as a grid of 8 x 8 glyphs.
struct Sheet {
  const uint32_t* pixels;
  size_t width;     // pixels per sheet row
  int64_t height;   // sheet rows
  uint32_t perRow;  // glyphs per grid row: width / 8
  uint32_t count;   // glyphs that start inside the sheet
};

// The first pixel of the glyph of code (0 <= code < count). Code c sits at
// x = (8c) mod W, y = ((8c) div W) * 8, which for W = 8 * perRow is the cell
// (c mod perRow, c div perRow) of the grid.
const uint32_t* GlyphAt(const Sheet& sheet, uint32_t code) {
  const size_t gx = size_t(code % sheet.perRow) * kCell;
  const size_t gy = size_t(code / sheet.perRow) * kCell;
  return sheet.pixels + gy * sheet.width + gx;
}

// Which rows of the glyph of code hold ink: bit r is set when row r has a
// pixel other than 0. Rows below the sheet's bottom edge (a sheet whose
// height is not a multiple of 8) are never drawn, so they count as empty.
uint32_t InkRows(const Sheet& sheet, uint32_t code) {
  const int64_t top = int64_t(code / sheet.perRow) * kCell;
  const int64_t left = sheet.height - top;
  const int rows = left < kCell ? static_cast<int>(left) : kCell;
  const uint32_t* s = GlyphAt(sheet, code);
  uint32_t ink = 0;
  for (int r = 0; r < rows; ++r, s += sheet.width) {
#if defined(__SSE2__)
    const __m128i any =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4)));
    const bool blank =
        _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xFFFF;
#else
    bool blank = true;
    for (int c = 0; c < kCell; ++c) blank = blank && s[c] == 0;
#endif
    ink |= uint32_t(!blank) << r;
  }
  return ink;
}

// Copies one row of 8 pixels from s to d, keeping the target pixel wherever
// the glyph's is 0.
inline void BlendRow(const uint32_t* __restrict s, uint32_t* __restrict d) {
#if defined(__SSE2__)
  // Where the glyph is 0 the mask keeps the target; elsewhere the target is
  // masked out and the glyph's value, or'ed in, takes its place.
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4));
  __m128i* out = reinterpret_cast<__m128i*>(d);
  _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out),
                                                   _mm_cmpeq_epi32(a, zero)),
                                     a));
  _mm_storeu_si128(out + 1,
                   _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out + 1),
                                              _mm_cmpeq_epi32(b, zero)),
                                b));
#else
  for (int c = 0; c < kCell; ++c)
    if (s[c]) d[c] = s[c];
#endif
}

// Copies the glyph rows named in ink (bit r: row r) from s to d, each one
// sheet row and one image row further on.
inline void DrawGlyph(const uint32_t* __restrict s, size_t sheetWidth,
                      uint32_t* __restrict d, size_t imageWidth, uint32_t ink) {
  for (int r = 0; r < kCell; ++r, s += sheetWidth, d += imageWidth)
    if (ink >> r & 1) BlendRow(s, d);
}

// True when [a, a + an) and [b, b + bn) share a byte.
bool Overlap(const void* a, size_t an, const void* b, size_t bn) {
  const auto x = reinterpret_cast<uintptr_t>(a);
  const auto y = reinterpret_cast<uintptr_t>(b);
  return x < y + bn && y < x + an;
}

// The cases in which drawing the cells directly is the same as calling
// FONTPutChar for each: 8 x 8 cells, a sheet with pixels whose width is a
// positive multiple of 8, an image with pixels, a screen whose pixel
// positions fit in 32 bits, a sheet whose pixel offsets do too, and no
// memory shared between the image and the sheet or the cells (the plain path
// would read what it has just drawn).
bool DirectDrawable(const Image* image, const TextScreen* screen,
                    const Font* font) {
  if (!font || !font->glyphs || !image || !image->pixels) return false;
  const Image* sheet = font->glyphs;
  if (font->cellWidth != kCell || font->cellHeight != kCell || !sheet->pixels ||
      sheet->width <= 0 || sheet->width % kCell != 0 || sheet->height < 0 ||
      image->width < 0 || image->height < 0)
    return false;
  if (screen->cols > INT32_MAX / kCell || screen->rows > INT32_MAX / kCell)
    return false;
  const size_t imageBytes =
      size_t(image->width) * size_t(image->height) * sizeof(uint32_t);
  const size_t sheetPixels = size_t(sheet->width) * size_t(sheet->height);
  if (sheetPixels > UINT32_MAX) return false;
  const size_t sheetBytes = sheetPixels * sizeof(uint32_t);
  const size_t cellBytes =
      screen->cols > 0 && screen->rows > 0
          ? size_t(screen->cols) * size_t(screen->rows) * sizeof(int32_t)
          : 0;
  return sheet != image &&
         !Overlap(image->pixels, imageBytes, sheet->pixels, sheetBytes) &&
         !Overlap(image->pixels, imageBytes, screen->cells, cellBytes);
}

// The plain algorithm: one FONTPutChar per cell, in storage order.
void RenderPlain(Image* image, const TextScreen* screen, const Font* font) {
  const int32_t* cell = screen->cells;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      FONTPutChar(font, *cell++, kCell * c, kCell * r, image);
}

}  // namespace

void DEMORender(Image* image, const TextScreen* screen, const Font* font) {
  if (!screen) return;
  if (!DirectDrawable(image, screen, font)) {
    RenderPlain(image, screen, font);
    return;
  }
  if (screen->cols <= 0 || screen->rows <= 0) return;

  const Image* glyphs = font->glyphs;
  Sheet sheet;
  sheet.pixels = glyphs->pixels;
  sheet.width = size_t(glyphs->width);
  sheet.height = glyphs->height;
  sheet.perRow = static_cast<uint32_t>(glyphs->width / kCell);
  // Glyph grid rows that start above the bottom edge, a last, partial one
  // included. Codes from count on start at or below the edge and draw
  // nothing. With at most 2^32 sheet pixels, count fits in 32 bits.
  const int64_t gridRows = (int64_t(glyphs->height) + kCell - 1) / kCell;
  sheet.count = static_cast<uint32_t>(gridRows * sheet.perRow);

  // Cells wholly inside the image, then the cut column and row, if any.
  const int32_t cols = screen->cols, rows = screen->rows;
  const int32_t inCols =
      image->width / kCell < cols ? image->width / kCell : cols;
  const int32_t inRows =
      image->height / kCell < rows ? image->height / kCell : rows;
  const bool cutCol = inCols < cols && image->width % kCell != 0;
  const bool cutRow = inRows < rows && image->height % kCell != 0;

  // The ink rows and sheet offsets of codes 0 .. 255, read from the sheet
  // when first used in this call. kUnread marks glyphs not read yet (it has
  // ink bits set, so the blank test below lets it through); codes from count
  // on have no glyph, so no ink.
  struct Glyph {
    uint32_t ink;
    uint32_t offset;  // of its first pixel in the sheet
  };
  std::array<Glyph, kCached> glyph;
  for (uint32_t code = 0; code < kCached; ++code)
    glyph[code] = {code < sheet.count ? kUnread : 0, 0};

  const size_t imageWidth = size_t(image->width);
  for (int32_t r = 0; r < inRows; ++r) {
    const int32_t* cell = screen->cells + size_t(r) * size_t(cols);
    uint32_t* line = image->pixels + size_t(r) * kCell * imageWidth;
    for (int32_t c = 0; c < inCols; ++c) {
      const uint32_t code = static_cast<uint32_t>(cell[c]);  // negative: huge
      uint32_t ink;
      const uint32_t* s;
      if (code < kCached) {
        Glyph& g = glyph[code];
        if (!g.ink) continue;  // the blank, most of the time
        if (g.ink == kUnread)
          g = {InkRows(sheet, code),
               uint32_t(GlyphAt(sheet, code) - sheet.pixels)};
        ink = g.ink;
        s = sheet.pixels + g.offset;
      } else {
        if (code >= sheet.count) continue;
        ink = InkRows(sheet, code);
        s = GlyphAt(sheet, code);
      }
      DrawGlyph(s, sheet.width, line + size_t(c) * kCell, imageWidth, ink);
    }
  }

  // Cells cut by the image's edge: FONTPutChar clips them. Cells further out
  // lie wholly outside the image and FONTPutChar would reject them.
  if (cutCol)
    for (int32_t r = 0; r < inRows; ++r)
      FONTPutChar(font, screen->cells[size_t(r) * size_t(cols) + inCols],
                  kCell * inCols, kCell * r, image);
  if (cutRow)
    for (int32_t c = 0; c < inCols + cutCol; ++c)
      FONTPutChar(font, screen->cells[size_t(inRows) * size_t(cols) + c],
                  kCell * c, kCell * inRows, image);
}
