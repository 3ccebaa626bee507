// Helpers shared by the sources of the IMG module; not part of its interface.
#pragma once

#include <cstdint>

#include "img/img.h"

namespace img_internal {

// width * height as a signed 32-bit count. False (and *count untouched) when
// either is negative or the product does not fit.
bool PixelCount(int32_t width, int32_t height, int32_t* count);

// IMGNew then IMGResize to width x height. None when the size is invalid or
// the pixels cannot be allocated (reported once).
Image* NewSized(int32_t width, int32_t height);

}  // namespace img_internal
