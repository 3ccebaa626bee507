// IMGFromASCII over arbitrary text: never a read past the terminator, no
// crash or leak, one report exactly when it returns none, an image bounded by
// the text; and what it reads survives IMGToASCII and a second read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "img/img.h"

namespace {

constexpr int64_t kRoundTripPixels = 4096;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CaptureStdout();
  // No text, no image, no pattern: a report each, and nothing else.
  fuzz::ClearOutput();
  fuzz::Check(IMGFromASCII(nullptr) == nullptr, "IMGFromASCII(none) is none");
  fuzz::CheckReports(true, "IMGFromASCII(none)");
  fuzz::ClearOutput();
  fuzz::Check(IMGToASCII(nullptr) == nullptr, "IMGToASCII(none) is none");
  fuzz::CheckReports(true, "IMGToASCII(none)");
  fuzz::ClearOutput();
  fuzz::Check(IMGFind(nullptr, "IMG") == 0, "IMGFind(none, ...) is 0");
  fuzz::CheckReports(true, "IMGFind(none, ...)");
  fuzz::ClearOutput();
  fuzz::Check(IMGFind("IMG", nullptr) == 0, "IMGFind(..., none) is 0");
  fuzz::CheckReports(true, "IMGFind(..., none)");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size terminated copy: one byte more and the reader is past it.
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size) std::memcpy(text.get(), data, size);
  text[size] = '\0';

  fuzz::ClearOutput();
  Image* image = IMGFromASCII(text.get());
  fuzz::CheckReports(image == nullptr, "IMGFromASCII");
  if (!image) return 0;
  const int64_t n = int64_t{image->width} * image->height;
  // Three numbers a pixel, each a digit and a separator.
  fuzz::Check(image->width >= 0 && image->height >= 0 &&
                  6 * n <= static_cast<int64_t>(size) + 1,
              "a read image is bounded by its text");

  if (n == 0) {
    // An image without pixels is written "IMG{}", which holds no "P3\n" and
    // so reads back as none.
    char* written = IMGToASCII(image);
    fuzz::Check(written && std::strcmp(written, "IMG{}") == 0,
                "an image without pixels is written IMG{}");
    fuzz::ClearOutput();
    Image* again = IMGFromASCII(written);
    std::free(written);
    fuzz::Check(again == nullptr, "IMG{} reads as none");
    fuzz::CheckReports(true, "IMGFromASCII(\"IMG{}\")");
  } else if (n <= kRoundTripPixels) {
    for (int64_t i = 0; i < n; ++i) image->pixels[i] &= 0xFFFFFF;
    fuzz::ClearOutput();
    char* written = IMGToASCII(image);
    fuzz::CheckReports(written == nullptr, "IMGToASCII");
    fuzz::Check(written != nullptr, "IMGToASCII writes a read image");
    const size_t length = std::strlen(written);
    fuzz::Check(length < static_cast<size_t>(12 * n + n / 6 + 29) &&
                    std::strcmp(written + length - 2, "}\n") == 0,
                "the text form fits its buffer and ends with \"}\\n\"");
    Image* again = IMGFromASCII(written);
    std::free(written);
    fuzz::CheckReports(again == nullptr, "IMGFromASCII of written text");
    fuzz::Check(again && IMGEqual(image, again),
                "text form then read gives the same pixels");
    IMGFree(&again);
  }
  IMGFree(&image);
  return 0;
}
