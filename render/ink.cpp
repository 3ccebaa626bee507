#include "render/ink.h"

namespace {

constexpr int32_t kFirstPrintable = 33, kLastPrintable = 126;

}  // namespace

bool INKFind(const Font* font, InkMap* map) {
  if (!map) return false;
  for (int32_t& offset : map->offset) offset = -1;
  map->first = 0;
  map->any = false;
  if (!font || !font->glyphs || font->cellWidth <= 0 || font->cellHeight <= 0)
    return false;
  Image* cell = IMGNew();
  if (!cell) return false;
  IMGResize(cell, font->cellWidth, font->cellHeight);
  if (cell->pixels) {
    const int32_t size = cell->width * cell->height;
    for (int32_t c = kFirstPrintable; c <= kLastPrintable; ++c) {
      IMGClear(cell);
      FONTPutChar(font, c, 0, 0, cell);
      for (int32_t i = 0; i < size; ++i) {
        if (!cell->pixels[i]) continue;
        map->offset[c] = i;
        if (!map->any) {
          map->first = cell->pixels[i];
          map->any = true;
        }
        break;
      }
    }
  }
  IMGFree(&cell);
  return map->any;
}

uint32_t INKSample(const Image* frame, const TextScreen* screen,
                   const Font* font, const InkMap* map, uint32_t fallback) {
  if (!frame || !frame->pixels || !screen || !screen->cells || !font ||
      !map || !map->any)
    return fallback;
  const int32_t cw = font->cellWidth, ch = font->cellHeight;
  const int32_t n = screen->cols * screen->rows;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t code = screen->cells[i];
    if (code < kFirstPrintable || code > kLastPrintable) continue;
    const int32_t offset = map->offset[code];
    if (offset < 0) continue;
    const int64_t x = int64_t(i % screen->cols) * cw + offset % cw;
    const int64_t y = int64_t(i / screen->cols) * ch + offset / cw;
    if (x < frame->width && y < frame->height)
      return frame->pixels[y * frame->width + x];
  }
  return fallback;
}
