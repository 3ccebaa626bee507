// A rectangle of pixels in an image: the columns x .. x + w - 1 of the rows
// y .. y + h - 1. The renderer names with it the parts of a frame that changed
// and the display the parts it presents; neither keeps the rectangles.
#pragma once

#include <cstdint>

struct ImageRect {
  int32_t x, y;  // top-left pixel
  int32_t w, h;  // in pixels; a rectangle with either 0 covers nothing
};
