// FONT: draws characters into an Image by copying fixed-size glyph cells out
// of a glyph sheet, itself an Image.
//
// The sheet is a grid of cellWidth x cellHeight cells in code order, left to
// right then top to bottom: code c sits at x = (c * cellWidth) % W,
// y = ((c * cellWidth) / W) * cellHeight for a sheet W pixels wide (signed
// 32-bit, truncating). Sheet pixels of value 0 are background and never drawn;
// every other value is copied unchanged. Negative codes (bytes 128-255 from the
// text screen) and codes past the sheet draw nothing.
//
// The owner sets cellWidth, cellHeight and glyphs directly after FONTNew; the
// font owns the sheet and FONTFree releases it. Misuse is reported through
// FONTError, which is silent unless the module's trace switch is on.
#pragma once

#include <cstdint>

#include "img/img.h"

struct Font {
  int32_t cellWidth;   // 6 after FONTNew
  int32_t cellHeight;  // 6 after FONTNew
  Image* glyphs;       // the glyph sheet; none after FONTNew; owned
};

// A new font with 6 x 6 cells and no sheet, or none.
[[nodiscard]] Font* FONTNew();

// Releases the sheet and the font and sets *font to none.
void FONTFree(Font** font);

// Draws the glyph of code with its top-left pixel at (x, y) of target, clipped.
void FONTPutChar(const Font* font, int32_t code, int32_t x, int32_t y,
                 Image* target);

// Two, four or eight upper-case hexadecimal digits, one cell apart.
void FONTPutHex8(const Font* font, uint8_t value, int32_t x, int32_t y,
                 Image* target);
void FONTPutHex16(const Font* font, uint16_t value, int32_t x, int32_t y,
                  Image* target);
void FONTPutHex32(const Font* font, uint32_t value, int32_t x, int32_t y,
                  Image* target);

// Draws the bytes of text, one cell apart, up to the first '\n' or the
// terminating zero; bytes are taken as signed 8-bit codes.
void FONTPutLine(const Font* font, const char* text, int32_t x, int32_t y,
                 Image* target);

// The module's error report: "FONT Error.\n" when tracing is on.
void FONTError();
