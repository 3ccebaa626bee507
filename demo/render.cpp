// The per-frame render: every cell of the text screen drawn through the font.
#include "demo/demo.h"

namespace {
constexpr int kCell = 8;  // glyph pitch in pixels, both ways
}

void DEMORender(Image* image, const TextScreen* screen, const Font* font) {
  if (!screen) return;
  const int32_t* cell = screen->cells;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      FONTPutChar(font, *cell++, kCell * c, kCell * r, image);
}
