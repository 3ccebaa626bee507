// Helpers shared by the sources of the IMG module; not part of its interface.
#pragma once

#include <cstdint>

#include "img/img.h"

namespace img_internal {

// width * height as a signed 32-bit count. False (and *count untouched) when
// either is negative or the product does not fit.
bool PixelCount(int32_t width, int32_t height, int32_t* count);

// IMGNew then IMGResize to width x height. None when the size is invalid or
// the pixels cannot be allocated (reported once). With zero false the pixels
// are left as the allocator gives them: only for callers that write every
// pixel before anyone else can see the image (or free it).
Image* NewSized(int32_t width, int32_t height, bool zero = true);

}  // namespace img_internal
