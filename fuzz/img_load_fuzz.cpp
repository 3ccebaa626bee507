// IMGLoad over a file holding arbitrary bytes: no crash, leak or unbounded
// allocation, one report exactly when it returns none; and what it reads
// survives a save and a load unchanged (top byte dropped).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "img/img.h"

namespace {

const char* inputPath;
const char* savedPath;

// Round trips through IMGSave cost file system work; small images are enough
// to exercise the writer.
constexpr int64_t kRoundTripPixels = 4096;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CaptureStdout();
  inputPath = fuzz::ScratchPath("load.pnm");
  savedPath = fuzz::ScratchPath("saved.ppm");
  // No name, and a name of no file: a report each.
  fuzz::ClearOutput();
  fuzz::Check(IMGLoad(nullptr) == nullptr, "IMGLoad(none) is none");
  fuzz::CheckReports(true, "IMGLoad(none)");
  fuzz::ClearOutput();
  fuzz::Check(IMGLoad("/nonexistent/intro-fuzz.pnm") == nullptr,
              "IMGLoad of a missing file is none");
  fuzz::CheckReports(true, "IMGLoad of a missing file");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Check(fuzz::WriteFile(inputPath, data, size), "the input is written");
  fuzz::ClearOutput();
  Image* image = IMGLoad(inputPath);
  fuzz::CheckReports(image == nullptr, "IMGLoad");
  if (!image) return 0;
  fuzz::Check(image->width > 0 && image->width <= IMG_MAX_SIDE &&
                  image->height > 0 && image->height <= IMG_MAX_SIDE,
              "sides of a loaded image lie in 1 .. IMG_MAX_SIDE");
  const int64_t n = int64_t{image->width} * image->height;
  fuzz::Check(n <= IMG_MAX_PIXELS && n <= 8 * static_cast<int64_t>(size),
              "a loaded image is bounded by its file");

  if (n <= kRoundTripPixels) {
    for (int64_t i = 0; i < n; ++i) image->pixels[i] &= 0xFFFFFF;
    fuzz::ClearOutput();
    fuzz::Check(IMGSave(image, savedPath), "IMGSave writes a loaded image");
    Image* again = IMGLoad(savedPath);
    fuzz::CheckReports(again == nullptr, "IMGLoad of a saved image");
    fuzz::Check(again && IMGEqual(image, again),
                "save then load gives the same pixels");
    IMGFree(&again);
  }
  IMGFree(&image);
  return 0;
}
