// The plain per-frame render that the benchmarks measure against: one
// FONTPutChar per cell, each a glyph lookup and a blit that clips once and
// then copies a pixel at a time, as the first versions of FONTPutChar and
// IMGBlit did. Written out here so that speeding up the library does not
// move the baseline.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "font/font.h"
#include "img/img.h"
#include "textscreen/textscreen.h"

namespace bench {

// IMGBlit's clipping, then a pixel at a time; no error report.
[[gnu::noinline]] inline void PlainBlit(const Image* source, Image* destination,
                                        int32_t sx, int32_t sy, int32_t dx,
                                        int32_t dy, int32_t w, int32_t h) {
  if (!source || !destination || !source->pixels || !destination->pixels)
    return;
  int64_t x0 = sx, y0 = sy, x1 = dx, y1 = dy, cw = w, ch = h;
  if (x1 >= destination->width || x1 + cw < 0 || y1 >= destination->height ||
      y1 + ch < 0)
    return;
  if (x0 >= source->width || x0 + cw < 0 || y0 >= source->height || y0 + ch < 0)
    return;
  if (x1 < 0) {
    cw += x1;
    x0 -= x1;
    x1 = 0;
  }
  if (y1 < 0) {
    ch += y1;
    y0 -= y1;
    y1 = 0;
  }
  if (x1 + cw > destination->width) cw = destination->width - x1;
  if (y1 + ch > destination->height) ch = destination->height - y1;
  if (x0 < 0) {
    cw += x0;
    x1 -= x0;
    x0 = 0;
  }
  if (y0 < 0) {
    ch += y0;
    y1 -= y0;
    y0 = 0;
  }
  if (x0 + cw > source->width) cw = source->width - x0;
  if (y0 + ch > source->height) ch = source->height - y0;
  if (cw <= 0 || ch <= 0) return;
  const size_t sw = size_t(source->width), dw = size_t(destination->width);
  const uint32_t* __restrict s = source->pixels + y0 * sw + x0;
  uint32_t* __restrict d = destination->pixels + y1 * dw + x1;
  for (int64_t r = 0; r < ch; ++r, s += sw, d += dw)
    for (int64_t c = 0; c < cw; ++c) {
      const uint32_t v = s[c];
      d[c] = v ? v : d[c];
    }
}

// FONTPutChar's glyph layout, then the plain blit.
[[gnu::noinline]] inline void PlainPutChar(const Font* font, int32_t code,
                                           int32_t x, int32_t y,
                                           Image* target) {
  if (!font || !font->glyphs || font->glyphs->width <= 0) return;
  const int64_t p = int64_t(code) * font->cellWidth;
  const int64_t gy = p / font->glyphs->width * font->cellHeight;
  if (gy < INT32_MIN || gy > INT32_MAX) return;
  PlainBlit(font->glyphs, target, int32_t(p % font->glyphs->width), int32_t(gy),
            x, y, font->cellWidth, font->cellHeight);
}

// Every cell at (8 col, 8 row), in storage order.
inline void PlainRender(Image* image, const TextScreen* screen,
                        const Font* font) {
  const int32_t* cell = screen->cells;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      PlainPutChar(font, *cell++, 8 * c, 8 * r, image);
}

}  // namespace bench
