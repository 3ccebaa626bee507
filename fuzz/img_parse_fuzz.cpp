// IMGParse over arbitrary bytes: never a read past the buffer, never a crash
// or a leak, one report exactly when it returns none, and an image no larger
// than the input can describe.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "img/img.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CaptureStdout();
  fuzz::ClearOutput();
  fuzz::Check(IMGParse(nullptr, 16) == nullptr, "IMGParse(none) is none");
  fuzz::CheckReports(true, "IMGParse(none)");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ClearOutput();
  Image* image = IMGParse(data, size);
  fuzz::CheckReports(image == nullptr, "IMGParse");
  if (!image) return 0;
  fuzz::Check(image->width > 0 && image->width <= IMG_MAX_SIDE &&
                  image->height > 0 && image->height <= IMG_MAX_SIDE,
              "sides of a parsed image lie in 1 .. IMG_MAX_SIDE");
  const int64_t n = int64_t{image->width} * image->height;
  // Every format takes at least one byte a pixel, P4 one bit.
  fuzz::Check(n <= IMG_MAX_PIXELS && n <= 8 * static_cast<int64_t>(size),
              "a parsed image is bounded by its input");
  uint32_t sum =
      0;  // every pixel must have been written (sanitizers, valgrind)
  for (int64_t i = 0; i < n; ++i) sum += image->pixels[i];
  (void)sum;
  IMGFree(&image);
  return 0;
}
