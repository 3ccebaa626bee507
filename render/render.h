// The per-frame render of a text screen into an image, cell by cell through a
// bitmap font. It needs no SDL: the driver, the recorder, the terminal intro
// and the benchmarks all render through it.
#pragma once

#include "font/font.h"
#include "img/img.h"
#include "textscreen/textscreen.h"

// Draws every cell of screen into image through font at (8 * col, 8 * row),
// exactly as one FONTPutChar per cell would. Cells outside the image are
// clipped; a missing image, screen or font is reported as FONTPutChar reports
// it.
void DEMORender(Image* image, const TextScreen* screen, const Font* font);
