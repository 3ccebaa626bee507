// The fade's darkening step, four pixels at a time where SSE2 is there: for
// every image length (the four-pixel body and the pixels after it) and every
// amount, each colour channel loses the amount's low byte, clamped at 0, and
// the top byte becomes 0, exactly as one pixel at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "tests/test_support.h"

namespace {

uint32_t Darkened(uint32_t v, int32_t amount) {
  const int a = amount & 0xFF;
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    const int channel = int(v >> shift & 0xFF) - a;
    out |= uint32_t(channel < 0 ? 0 : channel) << shift;
  }
  return out;
}

TEST(DemoDarkenPixels, EveryLengthAndAmountMatchesOnePixelAtATime) {
  std::mt19937 rng(128);
  const int32_t amounts[] = {0, 1, 2, 127, 128, 254, 255, 256 + 3, -1, -254};
  for (int32_t width = 0; width <= 11; ++width) {
    for (int32_t amount : amounts) {
      SCOPED_TRACE("width " + std::to_string(width) + ", amount " +
                   std::to_string(amount));
      std::vector<uint32_t> pixels(size_t(width) * 3);
      for (uint32_t& v : pixels)
        v = rng() % 4 ? rng() : (rng() % 2 ? 0xFFFFFFFFu : 0x00010203u);
      test::ImagePtr image(test::MakeImage(width, 3, pixels));
      DEMODarken(image.get(), amount);
      for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(image->pixels[i], Darkened(pixels[i], amount)) << "pixel " << i;
    }
  }
}

}  // namespace
