// The image helpers of test_support.h, in a source of their own: a program
// that does not make images (the text-screen tests) does not link img.
#include "tests/test_support.h"

namespace test {

Image* MakeImage(int32_t width, int32_t height,
                 const std::vector<uint32_t>& values) {
  Image* image = IMGNew();
  IMGResize(image, width, height);
  for (size_t i = 0; i < values.size() && i < size_t(width) * height; ++i)
    image->pixels[i] = values[i];
  return image;
}

std::vector<uint32_t> Pixels(const Image* image) {
  return std::vector<uint32_t>(
      image->pixels, image->pixels + size_t(image->width) * image->height);
}

}  // namespace test
