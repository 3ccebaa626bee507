// The transforms with sizes, angles and coordinates drawn from the input.
// The first byte picks the operation; the rest are its parameters:
//   0 IMGScale       source width, height (0 .. 64), new width, height
//                    (0 .. 300, or negative when the flag byte says so)
//   1 IMGRotate      source width, height (0 .. 96), angle (any int32)
//   2 IMGSpread      a, b (any int32; long tables are cut short)
//   3 IMGLinePoints  x0, y0, x1, y1 (any int32; long lines are cut short)
// Source pixel (x, y) holds y * width + x + 1, so every result pixel names the
// source pixel it came from, and the checks are properties of the mapping
// rather than a second copy of it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "img/img.h"

namespace {

using fuzz::Check;

// A table or line this long still runs in well under a millisecond.
constexpr int64_t kLongest = 1 << 12;

struct ImageDeleter {
  void operator()(Image* image) const {
    if (image) IMGFree(&image);
  }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;
struct FreeDeleter {
  void operator()(int32_t* p) const { std::free(p); }
};
using ListPtr = std::unique_ptr<int32_t, FreeDeleter>;

ImagePtr Numbered(int32_t width, int32_t height) {
  ImagePtr image(IMGNew());
  Check(image != nullptr, "IMGNew");
  IMGResize(image.get(), width, height);
  for (int32_t i = 0; i < width * height; ++i) image->pixels[i] = i + 1;
  return image;
}

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

// Which source index a shrinking axis takes from the group of source indexes
// that falls to one result index.
enum class Take { kFirst, kLast };

// The source index one axis of IMGScale took for each result index, read back
// from the numbered pixels, against the mapping of nearest-neighbour scaling:
// a growing axis (to >= from) gives result index j the source index i with
// i * to <= j * from < (i + 1) * to; a shrinking one gives j the first or the
// last of the indexes i with j * from <= i * to < (j + 1) * from.
void CheckAxis(const int32_t* chosen, int32_t from, int32_t to, Take take) {
  for (int32_t j = 0; j < to; ++j) {
    const int64_t i = chosen[j];
    if (to >= from) {
      Check(i * to <= int64_t{j} * from && int64_t{j} * from < (i + 1) * to,
            "a growing axis takes the source index under the result index");
    } else if (take == Take::kLast) {
      Check(i * to < (int64_t{j} + 1) * from &&
                (i + 1) * to >= (int64_t{j} + 1) * from,
            "a shrinking axis takes the last index of its group");
    } else {
      Check(i * to >= int64_t{j} * from && (i - 1) * to < int64_t{j} * from,
            "a shrinking axis takes the first index of its group");
    }
  }
}

void FuzzScale(fuzz::Input& in) {
  const int32_t sw = in.TakeBelow(65), sh = in.TakeBelow(65);
  int32_t width = in.TakeBelow(301), height = in.TakeBelow(301);
  const uint8_t flags = in.Take<uint8_t>();
  if (flags & 1) width = -1 - width;
  if (flags & 2) height = -1 - height;
  ImagePtr source = Numbered(sw, sh);

  fuzz::ClearOutput();
  ImagePtr result(IMGScale(source.get(), width, height));
  fuzz::CheckReports(result == nullptr, "IMGScale");
  if (width < 0 || height < 0) {
    Check(result == nullptr, "IMGScale refuses a negative size");
    return;
  }
  Check(result && result->width == width && result->height == height,
        "IMGScale gives the requested size");
  const uint32_t* px = result->pixels;
  if (sw == 0 || sh == 0) {
    for (int32_t i = 0; i < width * height; ++i)
      Check(px[i] == 0, "scaling an empty source gives zeros");
    return;
  }
  if (width == 0 || height == 0) return;
  // Row 0 names the column each result column took, column 0 the row each
  // result row took; every other pixel must be their crossing.
  auto source_of = [&](uint32_t v) {
    Check(v >= 1 && v <= static_cast<uint32_t>(sw * sh),
          "IMGScale only copies source pixels");
    return static_cast<int32_t>(v - 1);
  };
  std::unique_ptr<int32_t[]> columns(new int32_t[width]);
  std::unique_ptr<int32_t[]> rows(new int32_t[height]);
  for (int32_t x = 0; x < width; ++x) columns[x] = source_of(px[x]) % sw;
  for (int32_t y = 0; y < height; ++y) rows[y] = source_of(px[y * width]) / sw;
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t base = static_cast<uint32_t>(rows[y] * sw + 1);
    const uint32_t* line = px + y * width;
    for (int32_t x = 0; x < width; ++x)
      Check(line[x] == base + columns[x],
            "IMGScale maps whole rows and columns");
  }
  // Columns take the last of a group; rows the last only when the width
  // shrinks too.
  CheckAxis(columns.get(), sw, width, Take::kLast);
  CheckAxis(rows.get(), sh, height, width < sw ? Take::kLast : Take::kFirst);
  if (width == sw && height == sh)
    Check(IMGEqual(result.get(), source.get()),
          "scaling to the same size copies");
}

void FuzzRotate(fuzz::Input& in) {
  const int32_t sw = in.TakeBelow(97), sh = in.TakeBelow(97);
  const int32_t angle = in.Take<int32_t>();
  ImagePtr source = Numbered(sw, sh);

  fuzz::ClearOutput();
  ImagePtr result(IMGRotate(source.get(), angle));
  fuzz::CheckReports(result == nullptr, "IMGRotate");
  Check(result && result->width == (sw * 92667) >> 16 &&
            result->height == (sh * 92667) >> 16,
        "IMGRotate grows each side by 92667 / 65536");
  const int32_t n = result->width * result->height;
  for (int32_t i = 0; i < n; ++i)
    Check(result->pixels[i] <= static_cast<uint32_t>(sw * sh),
          "IMGRotate only copies source pixels or 0");
  // The angle counts modulo 1024 whatever its sign or size.
  ImagePtr same(IMGRotate(source.get(), angle & 1023));
  Check(same && IMGEqual(result.get(), same.get()),
        "IMGRotate is periodic in 1024");
}

void FuzzSpread(fuzz::Input& in) {
  int32_t a = in.Take<int32_t>(), b = in.Take<int32_t>();
  int64_t big = std::max(Abs(a), Abs(b)), small = std::min(Abs(a), Abs(b));
  if (big > INT32_MAX || (small == 0 && big == INT32_MAX)) {
    // A count of 2^31 cannot be held: refused.
    fuzz::ClearOutput();
    ListPtr table(IMGSpread(a, b));
    fuzz::CheckReports(table == nullptr, "IMGSpread");
    Check(table == nullptr, "IMGSpread refuses counts past 32 bits");
    return;
  }
  if (big > kLongest) {
    a %= kLongest;
    b %= kLongest;
    big = std::max(Abs(a), Abs(b));
    small = std::min(Abs(a), Abs(b));
  }
  fuzz::ClearOutput();
  ListPtr table(IMGSpread(a, b));
  fuzz::CheckReports(table == nullptr, "IMGSpread");
  Check(table != nullptr, "IMGSpread gives a table");
  const int32_t* t = table.get();
  Check(t[small] == (small == 0 ? big + 1 : 1), "the last entry of a spread");
  int64_t sum = 0;
  for (int64_t j = 0; j < small; ++j) {
    Check(t[j] * small >= big - small + 1 && t[j] * small <= big + small - 1,
          "each share of a spread is big / small rounded either way");
    sum += t[j];
  }
  Check(small == 0 || sum == big, "the shares of a spread add up to big");
  ListPtr swapped(IMGSpread(b, a));
  Check(swapped != nullptr, "IMGSpread gives a table");
  for (int64_t j = 0; j <= small; ++j)
    Check(swapped.get()[j] == t[j], "the order of a and b does not matter");
}

void FuzzLinePoints(fuzz::Input& in) {
  const int32_t x0 = in.Take<int32_t>(), y0 = in.Take<int32_t>();
  int32_t x1 = in.Take<int32_t>(), y1 = in.Take<int32_t>();
  int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
  const int64_t longest = std::max(Abs(dx), Abs(dy));
  if (longest > (INT32_MAX - 2) / 2) {
    // The count 2n in element 0 would pass 32 bits: refused.
    fuzz::ClearOutput();
    ListPtr list(IMGLinePoints(x0, y0, x1, y1));
    fuzz::CheckReports(list == nullptr, "IMGLinePoints");
    Check(list == nullptr, "IMGLinePoints refuses lines past 32-bit counts");
    return;
  }
  if (longest > kLongest) {
    // Keep the direction, shorten the line; step back from the 32-bit edge.
    dx %= kLongest;
    dy %= kLongest;
    x1 = static_cast<int32_t>(int64_t{x0} + dx >= INT32_MIN &&
                                      int64_t{x0} + dx <= INT32_MAX
                                  ? x0 + dx
                                  : x0 - dx);
    y1 = static_cast<int32_t>(int64_t{y0} + dy >= INT32_MIN &&
                                      int64_t{y0} + dy <= INT32_MAX
                                  ? y0 + dy
                                  : y0 - dy);
    dx = int64_t{x1} - x0;
    dy = int64_t{y1} - y0;
  }
  fuzz::ClearOutput();
  ListPtr list(IMGLinePoints(x0, y0, x1, y1));
  fuzz::CheckReports(list == nullptr, "IMGLinePoints");
  Check(list != nullptr, "IMGLinePoints gives a list");
  const int32_t* p = list.get();
  const bool xMajor = Abs(dx) > Abs(dy);
  const int64_t major = xMajor ? Abs(dx) : Abs(dy);
  const int64_t minor = xMajor ? Abs(dy) : Abs(dx);
  Check(p[0] == 2 * (major + 1), "a line of n points holds 2n values");
  Check(p[1] == x0 && p[2] == y0, "a line starts at its first point");
  Check(p[2 * major + 1] == x1 && p[2 * major + 2] == y1,
        "a line ends at its last point");
  int64_t minorMoves = 0;
  for (int64_t k = 1; k <= major; ++k) {
    const int64_t sx = int64_t{p[2 * k + 1]} - p[2 * k - 1];
    const int64_t sy = int64_t{p[2 * k + 2]} - p[2 * k];
    const int64_t stepMajor = xMajor ? sx : sy, stepMinor = xMajor ? sy : sx;
    Check(stepMajor == ((xMajor ? dx : dy) >= 0 ? 1 : -1),
          "a line moves one along its major axis each step");
    Check(stepMinor == 0 || stepMinor == ((xMajor ? dy : dx) >= 0 ? 1 : -1),
          "a line moves at most one toward the end on its minor axis");
    minorMoves += stepMinor != 0;
    // Every point lies within half a step of the exact line: after k steps
    // the minor axis has moved minorMoves of the k * minor / major it should.
    const int64_t off = minorMoves * major - k * minor;
    Check(off >= -(major - major / 2) && off <= major - major / 2,
          "a line stays within half a step of the exact line");
  }
  Check(minorMoves == minor, "a line moves exactly |minor| times");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CaptureStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  switch (in.Take<uint8_t>() % 4) {
    case 0:
      FuzzScale(in);
      break;
    case 1:
      FuzzRotate(in);
      break;
    case 2:
      FuzzSpread(in);
      break;
    default:
      FuzzLinePoints(in);
      break;
  }
  return 0;
}
