// Text art from a file of arbitrary bytes: DEMOLoadText whole and cut to a
// frame's 615 bytes, each printed onto a small text screen at a position taken
// from the input and measured. The input is a 4-byte column and a 4-byte row
// (little-endian, signed) followed by the file's bytes.
//
// The printed screen is compared with a plain reading of the format: every
// byte is a cell taken as signed 8-bit, '\n' returns to the starting column
// one row down, a zero byte ends the text, and cells off the screen are
// dropped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "demo/demo.h"
#include "fuzz/fuzz_support.h"
#include "textscreen/textscreen.h"

namespace {

constexpr int32_t kCols = 13;
constexpr int32_t kRows = 7;
constexpr int32_t kBlank = 32;
constexpr int32_t kUnused = 0x5A5A5A5A;  // a value no byte can write

const char* artPath;
TextScreen* screen;  // text screens are never freed: one for the whole run

void CheckPrinted(const char* text, int32_t col, int32_t row) {
  int32_t expected[kRows][kCols];
  for (auto& cells : expected) std::fill(cells, cells + kCols, kUnused);
  int64_t c = col, r = row;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      c = col;
      ++r;
      continue;
    }
    if (c >= 0 && c < kCols && r >= 0 && r < kRows)
      expected[r][c] = static_cast<int8_t>(*p);
    ++c;
  }

  SCRFill(screen, kUnused);
  SCRPrint(screen, col, row, text);
  fuzz::Check(screen->cols == kCols && screen->rows == kRows,
              "printing keeps the screen's size");
  fuzz::Check(std::memcmp(screen->cells, expected, sizeof expected) == 0,
              "SCRPrint writes the cells of the text-art format, clipped");

  int64_t widest = 0, line = 0, newlines = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      widest = std::max(widest, line);
      line = 0;
      ++newlines;
    } else {
      ++line;
    }
  }
  fuzz::Check(DEMOTextWidth(text) == widest,
              "DEMOTextWidth is the longest line ended by '\\n'");
  fuzz::Check(DEMOTextHeight(text) == newlines + 1,
              "DEMOTextHeight counts the '\\n' bytes plus one");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CaptureStdout();
  artPath = fuzz::ScratchPath("art.txt");
  screen = SCRNew();
  if (!screen) fuzz::Fail("a text screen can be made");
  SCRResize(screen, kCols, kRows);
  SCRFill(screen, kBlank);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const int32_t col = input.Take<int32_t>();
  const int32_t row = input.Take<int32_t>();
  const uint8_t* bytes = input.data();
  const size_t length = input.size();
  fuzz::Check(fuzz::WriteFile(artPath, bytes, length), "the input is written");

  char* whole = DEMOLoadText(artPath, -1);
  fuzz::Check(
      whole && std::memcmp(whole, bytes, length) == 0 && whole[length] == '\0',
      "DEMOLoadText(-1) gives the whole file, terminated");
  CheckPrinted(whole, col, row);
  DEMOFreeText(whole);

  char* frame = DEMOLoadText(artPath, DEMO_FRAME_TEXT_MAX);
  const size_t kept = std::min<size_t>(length, DEMO_FRAME_TEXT_MAX);
  fuzz::Check(frame && std::memcmp(frame, bytes, kept) == 0 &&
                  frame[kept] == '\0' && frame[DEMO_FRAME_TEXT_MAX] == '\0',
              "DEMOLoadText(615) keeps the first 615 bytes, terminated");
  CheckPrinted(frame, col, row);
  DEMOFreeText(frame);
  return 0;
}
