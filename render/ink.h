// INK: the colour text is drawn in, read back from a rendered frame. A text
// terminal shows one colour for all its text; the intro's frame holds that
// colour wherever a glyph has ink, darkened as the fade darkens the frame.
#pragma once

#include <cstdint>

#include "font/font.h"
#include "img/img.h"
#include "textscreen/textscreen.h"

// Where each printable code (33 to 126) has a pixel of ink within its glyph
// cell: offset[c] = y * cellWidth + x of the first such pixel in row-major
// order, or -1 for a glyph without ink. first is that pixel's colour for the
// first code with ink, the colour text has before a frame shows any.
struct InkMap {
  int32_t offset[127];
  uint32_t first;
  bool any;  // some printable glyph has ink
};

// Fills map from font (its cell size and glyph sheet as they are now). False,
// with map->any false, when the font has no sheet, no printable glyph has
// ink, or memory ran out.
bool INKFind(const Font* font, InkMap* map);

// The colour of the ink in frame (screen rendered through font, as
// DEMORender draws it) at the first cell, in row-major order, that holds a
// printable code with ink inside the frame; fallback when there is none.
uint32_t INKSample(const Image* frame, const TextScreen* screen,
                   const Font* font, const InkMap* map, uint32_t fallback);
