// The bitmap font: glyph cells cut out of a glyph sheet and copied into an
// image with the clipping and the transparent copy of IMGBlit, called
// directly rather than through IMGBlit's checks, which FONTPutChar makes
// itself.
#include "font/font.h"

#include <climits>
#include <cstdio>
#include <new>

#include "img/blit_internal.h"

namespace {

// Build-time trace switch for FONTError; off in every deliverable.
constexpr bool kTrace = false;

// Identification record of the module; nothing reads it.
[[maybe_unused]] constexpr struct {
  int32_t date;
  const char* author;
} kIdent = {20080531, "intro"};

// Two's-complement 32-bit arithmetic for the placement of consecutive
// characters: positions wrap instead of overflowing.
constexpr int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) +
                              static_cast<uint32_t>(b));
}
constexpr int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) *
                              static_cast<uint32_t>(b));
}

// The character code of one hexadecimal digit: '0'-'9', then 'A'-'F'.
constexpr int32_t HexDigit(uint32_t d) {
  return static_cast<int32_t>(d < 10 ? d + 48 : d + 55);
}

}  // namespace

Font* FONTNew() {
  auto* font = new (std::nothrow) Font{};
  if (!font) {
    FONTError();
    return nullptr;
  }
  font->cellWidth = 6;
  font->cellHeight = 6;
  return font;
}

void FONTFree(Font** font) {
  if (!font || !*font) {
    FONTError();
    return;
  }
  if ((*font)->glyphs) IMGFree(&(*font)->glyphs);
  delete *font;
  *font = nullptr;
}

void FONTPutChar(const Font* font, int32_t code, int32_t x, int32_t y,
                 Image* target) {
  if (!font || !font->glyphs) {
    FONTError();
    return;
  }
  // A sheet without width holds no glyph (and must not be divided by).
  const Image* sheet = font->glyphs;
  const int32_t sheetWidth = sheet->width;
  if (sheetWidth <= 0) return;
  // 64 bits, so that a huge code cannot wrap around onto a real glyph; a
  // glyph row beyond 32 bits is far outside the sheet.
  const int64_t p = static_cast<int64_t>(code) * font->cellWidth;
  const int64_t gy = p / sheetWidth * font->cellHeight;
  if (gy < INT32_MIN || gy > INT32_MAX) return;
  // What IMGBlit would report, then its clipping and its copy.
  if (!target || !target->pixels || !sheet->pixels) {
    IMGError();
    return;
  }
  img_internal::ClipAndBlit(
      sheet->pixels, sheetWidth, sheet->height, target->pixels, target->width,
      target->height,
      {p % sheetWidth, gy, x, y, font->cellWidth, font->cellHeight});
}

void FONTPutHex8(const Font* font, uint8_t value, int32_t x, int32_t y,
                 Image* target) {
  if (!font) {
    FONTError();
    return;
  }
  FONTPutChar(font, HexDigit(value / 16u), x, y, target);
  FONTPutChar(font, HexDigit(value % 16u), Add(x, font->cellWidth), y, target);
}

void FONTPutHex16(const Font* font, uint16_t value, int32_t x, int32_t y,
                  Image* target) {
  if (!font) {
    FONTError();
    return;
  }
  FONTPutHex8(font, static_cast<uint8_t>(value / 256u), x, y, target);
  FONTPutHex8(font, static_cast<uint8_t>(value % 256u),
              Add(x, Mul(2, font->cellWidth)), y, target);
}

void FONTPutHex32(const Font* font, uint32_t value, int32_t x, int32_t y,
                  Image* target) {
  if (!font) {
    FONTError();
    return;
  }
  FONTPutHex16(font, static_cast<uint16_t>(value / 65536u), x, y, target);
  FONTPutHex16(font, static_cast<uint16_t>(value % 65536u),
               Add(x, Mul(4, font->cellWidth)), y, target);
}

void FONTPutLine(const Font* font, const char* text, int32_t x, int32_t y,
                 Image* target) {
  if (!font || !text) {
    FONTError();
    return;
  }
  for (; *text && *text != '\n'; ++text, x = Add(x, font->cellWidth))
    FONTPutChar(font, static_cast<int8_t>(*text), x, y, target);
}

void FONTError() {
  if constexpr (kTrace) std::fputs("FONT Error.\n", stdout);
}
