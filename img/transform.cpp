// Image transforms in integer arithmetic: distribution tables, nearest-
// neighbour scaling, rotation through the shared sine table and line
// rasterising.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/sintab.h"
#include "img/img.h"
#include "img/img_internal.h"

namespace {

// The rotated image is (side * kRotateGrowth) >> 16 pixels a side, a little
// under sqrt(2) times the source.
constexpr int32_t kRotateGrowth = 92667;
// The largest side for which side * kRotateGrowth fits in 32 bits.
constexpr int32_t kMaxRotateSide = INT32_MAX / kRotateGrowth;  // 23174
// Sine-table products are scaled back by this many bits.
constexpr int kSinShift = 15;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using TablePtr = std::unique_ptr<int32_t[], FreeDeleter>;

struct ImageDeleter {
  void operator()(Image* image) const {
    if (image) IMGFree(&image);
  }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// The smallest k in [lo, hi) for which pred(k) holds, or hi when none does;
// pred must be false up to some point and true from there on.
template <typename Pred>
int32_t FirstTrue(int32_t lo, int32_t hi, Pred pred) {
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (pred(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The columns k in [0, n) at which base + ((k - centre) * step >> 15) lies in
// [0, limit), as the half-open range [*first, *last). The expression moves
// monotonically with k, so the columns form one run; both ends are found by
// bisection on the exact expression.
void SampledRun(int32_t n, int32_t centre, int32_t step, int32_t base,
                int32_t limit, int32_t* first, int32_t* last) {
  auto at = [=](int32_t k) {
    return base + (((k - centre) * step) >> kSinShift);
  };
  if (step >= 0) {
    *first = FirstTrue(0, n, [&](int32_t k) { return at(k) >= 0; });
    *last = FirstTrue(0, n, [&](int32_t k) { return at(k) >= limit; });
  } else {
    *first = FirstTrue(0, n, [&](int32_t k) { return at(k) < limit; });
    *last = FirstTrue(0, n, [&](int32_t k) { return at(k) < 0; });
  }
}

// For every destination column, the source column it takes: each source
// column i fills counts[i] destination columns when the width grows; when it
// shrinks, destination column j takes the last column of its group.
void BuildColumnMap(const int32_t* counts, int32_t sourceWidth, int32_t width,
                    int32_t* map) {
  if (width >= sourceWidth) {
    int32_t x = 0;
    for (int32_t i = 0; i < sourceWidth; ++i)
      for (int32_t c = counts[i]; c > 0; --c) map[x++] = i;
  } else {
    int32_t end = 0;
    for (int32_t j = 0; j < width; ++j) {
      end += counts[j];
      map[j] = end - 1;
    }
  }
}

// Builds one destination row from one source row. Any column map works
// through the general gather; the common whole-number factors have kernels of
// their own that give the same pixels: an unchanged width is a row copy, a
// doubled width writes each source pixel twice, and a halved width takes the
// second pixel of each pair (the last of its group).
class RowScaler {
 public:
  RowScaler(const int32_t* map, int32_t sourceWidth, int32_t width)
      : map_(map), sourceWidth_(sourceWidth), width_(width) {
    if (width == sourceWidth) {
      kind_ = Kind::kCopy;
    } else if (width == 2 * static_cast<int64_t>(sourceWidth)) {
      kind_ = Kind::kDouble;
    } else if (2 * static_cast<int64_t>(width) == sourceWidth) {
      kind_ = Kind::kHalve;
    } else {
      kind_ = Kind::kGather;
    }
  }

  void operator()(const uint32_t* __restrict s, uint32_t* __restrict d) const {
    switch (kind_) {
      case Kind::kCopy:
        std::memcpy(d, s, static_cast<size_t>(width_) * sizeof(uint32_t));
        break;
      case Kind::kDouble:
        Double(s, d);
        break;
      case Kind::kHalve:
        Halve(s, d);
        break;
      case Kind::kGather:
        for (int32_t x = 0; x < width_; ++x) d[x] = s[map_[x]];
        break;
    }
  }

 private:
  enum class Kind { kCopy, kDouble, kHalve, kGather };

  void Double(const uint32_t* __restrict s, uint32_t* __restrict d) const {
    int32_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= sourceWidth_; i += 4) {
      const __m128i v =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * i),
                       _mm_unpacklo_epi32(v, v));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * i + 4),
                       _mm_unpackhi_epi32(v, v));
    }
#endif
    for (; i < sourceWidth_; ++i) d[2 * i] = d[2 * i + 1] = s[i];
  }

  void Halve(const uint32_t* __restrict s, uint32_t* __restrict d) const {
    int32_t j = 0;
#if defined(__SSE2__)
    constexpr int kOdd = _MM_SHUFFLE(3, 1, 3, 1);
    for (; j + 4 <= width_; j += 4) {
      const __m128i a = _mm_shuffle_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * j)), kOdd);
      const __m128i b = _mm_shuffle_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * j + 4)),
          kOdd);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j),
                       _mm_unpacklo_epi64(a, b));
    }
#endif
    for (; j < width_; ++j) d[j] = s[2 * j + 1];
  }

  const int32_t* map_;
  int32_t sourceWidth_;
  int32_t width_;
  Kind kind_;
};

// Copies the finished row at row into the count - 1 rows after it, doubling
// the copied block each time so that long runs take few calls.
void RepeatRow(uint32_t* row, size_t width, int32_t count) {
  size_t done = 1;
  const size_t total = static_cast<size_t>(count);
  while (done < total) {
    const size_t chunk = std::min(done, total - done);
    std::memcpy(row + done * width, row, chunk * width * sizeof(uint32_t));
    done += chunk;
  }
}

// Index into the sine table for a table-relative angle, remainder in
// 0 ... SINTAB_SIZE - 1 for every integer, negative ones included.
int32_t TableIndex(int64_t angle) {
  const int64_t size = intro::SINTAB_SIZE;
  const int64_t r = angle % size;
  return static_cast<int32_t>(r < 0 ? r + size : r);
}

}  // namespace

int32_t* IMGSpread(int32_t a, int32_t b) {
  int64_t big = a < 0 ? -static_cast<int64_t>(a) : a;
  int64_t small = b < 0 ? -static_cast<int64_t>(b) : b;
  if (big < small) std::swap(big, small);
  // Every count must fit in 32 bits: a length of 2^31, or a single entry of
  // big + 1 = 2^31, cannot be represented.
  if (big > INT32_MAX || (small == 0 && big == INT32_MAX)) {
    IMGError();
    return nullptr;
  }
  auto* table = static_cast<int32_t*>(
      std::calloc(static_cast<size_t>(small) + 1, sizeof(int32_t)));
  if (!table) {
    IMGError();
    return nullptr;
  }
  int64_t err = big;
  int64_t i = 0;
  for (int64_t k = 0; k <= big; ++k) {
    ++table[i];
    err -= small;
    if (err <= 0) {
      err += big;
      ++i;
    }
  }
  return table;
}

Image* IMGScale(const Image* source, int32_t width, int32_t height) {
  // A source with a negative side is malformed (IMGResize never makes one).
  if (!source || !source->pixels || source->width < 0 || source->height < 0 ||
      width < 0 || height < 0) {
    IMGError();
    return nullptr;
  }
  const int32_t sw = source->width;
  const int32_t sh = source->height;
  // From a source with pixels every row of the result is built, or copied
  // from the one above, so its array need not be zeroed first; from an empty
  // one the result is all zeros.
  const bool fromPixels = sw > 0 && sh > 0;
  ImagePtr result(img_internal::NewSized(width, height, !fromPixels));
  if (!result) return nullptr;  // NewSized has reported
  if (!fromPixels || width == 0 || height == 0) return result.release();

  TablePtr columns(IMGSpread(width, sw));
  if (!columns) return nullptr;  // IMGSpread has reported
  TablePtr rows(IMGSpread(height, sh));
  if (!rows) return nullptr;
  std::unique_ptr<int32_t[]> map(new (std::nothrow) int32_t[width]);
  if (!map) {
    IMGError();
    return nullptr;
  }
  BuildColumnMap(columns.get(), sw, width, map.get());
  const RowScaler scaleRow(map.get(), sw, width);

  // Every destination row is either built once from its source row or is a
  // copy of the row above; rows are walked by pointer.
  const size_t dw = static_cast<size_t>(width);
  const size_t stride = static_cast<size_t>(sw);
  const uint32_t* s = source->pixels;
  uint32_t* d = result->pixels;
  if (height >= sh) {
    for (int32_t i = 0; i < sh; ++i) {
      const int32_t count = rows[i];
      if (count == 0) continue;
      scaleRow(s + i * stride, d);
      RepeatRow(d, dw, count);
      d += count * dw;
    }
  } else {
    // A shrinking height takes the last row of each group when the width
    // shrinks too, the first row otherwise.
    const bool takeLast = width < sw;
    int32_t begin = 0;
    for (int32_t j = 0; j < height; ++j, d += dw) {
      const int32_t end = begin + rows[j];
      scaleRow(s + (takeLast ? end - 1 : begin) * stride, d);
      begin = end;
    }
  }
  return result.release();
}

Image* IMGRotate(const Image* source, int32_t angle) {
  if (!source || !source->pixels || source->width < 0 || source->height < 0 ||
      source->width > kMaxRotateSide || source->height > kMaxRotateSide) {
    IMGError();
    return nullptr;
  }
  const int32_t sw = source->width;
  const int32_t sh = source->height;
  const int32_t width = (sw * kRotateGrowth) >> 16;
  const int32_t height = (sh * kRotateGrowth) >> 16;
  Image* result = img_internal::NewSized(width, height);
  if (!result) return nullptr;  // NewSized has reported
  if (sw == 0 || sh == 0) return result;

  const int32_t s = intro::SINTAB[TableIndex(-static_cast<int64_t>(angle))];
  const int32_t c =
      intro::SINTAB[TableIndex(-static_cast<int64_t>(angle) - 256)];
  const int32_t scx = sw / 2;
  const int32_t scy = sh / 2;
  const int32_t dcx = width / 2;
  const int32_t dcy = height / 2;

  // For a result pixel (x, y) the source position is
  //   u = scx + ((dx * c) >> 15) - ((dy * s) >> 15)
  //   v = scy + ((dx * s) >> 15) + ((dy * c) >> 15)
  // The dy terms are fixed along a row, and dx * c and dx * s grow by c and s
  // from one pixel to the next, so each product is kept as a running sum and
  // shifted on its own, exactly as the formula does. Pixels whose source
  // position falls outside the source stay 0; the run that hits the source is
  // found once per row.
  const uint32_t* src = source->pixels;
  uint32_t* row = result->pixels;
  for (int32_t y = 0; y < height; ++y, row += width) {
    const int32_t dy = y - dcy;
    const int32_t ubase = scx - ((dy * s) >> kSinShift);
    const int32_t vbase = scy + ((dy * c) >> kSinShift);
    int32_t ufirst, ulast, vfirst, vlast;
    SampledRun(width, dcx, c, ubase, sw, &ufirst, &ulast);
    SampledRun(width, dcx, s, vbase, sh, &vfirst, &vlast);
    const int32_t first = std::max(ufirst, vfirst);
    const int32_t last = std::min(ulast, vlast);
    int32_t pu = (first - dcx) * c;
    int32_t pv = (first - dcx) * s;
    for (int32_t x = first; x < last; ++x, pu += c, pv += s) {
      const int32_t u = ubase + (pu >> kSinShift);
      const int32_t v = vbase + (pv >> kSinShift);
      row[x] = src[v * sw + u];
    }
  }
  return result;
}

int32_t* IMGLinePoints(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  // Differences and positions in 64 bits: the ends may lie anywhere in the
  // 32-bit range, and the last step moves one past the end point.
  const int64_t dx = static_cast<int64_t>(x1) - x0;
  const int64_t dy = static_cast<int64_t>(y1) - y0;
  const int64_t ax = dx < 0 ? -dx : dx;
  const int64_t ay = dy < 0 ? -dy : dy;
  int64_t x = x0;
  int64_t y = y0;
  const bool xMajor = ax > ay;
  const int64_t major = xMajor ? ax : ay;
  const int64_t minor = xMajor ? ay : ax;
  int64_t& pMajor = xMajor ? x : y;
  int64_t& pMinor = xMajor ? y : x;
  const int64_t majorStep = (xMajor ? dx : dy) >= 0 ? 1 : -1;
  const int64_t minorStep = (xMajor ? dy : dx) >= 0 ? 1 : -1;

  // Element 0 holds 2 * (major + 1), which must fit in 32 bits.
  if (major > (INT32_MAX - 2) / 2) {
    IMGError();
    return nullptr;
  }
  const size_t values = static_cast<size_t>(2 * major + 3);
  auto* list = static_cast<int32_t*>(std::calloc(values, sizeof(int32_t)));
  if (!list) {
    IMGError();
    return nullptr;
  }
  list[0] = static_cast<int32_t>(values - 1);
  int32_t* out = list + 1;
  int64_t e = major >> 1;
  for (int64_t k = 0; k <= major; ++k) {
    *out++ = static_cast<int32_t>(x);
    *out++ = static_cast<int32_t>(y);
    pMajor += majorStep;
    e -= minor;
    if (e <= 0 && minor > 0) {
      e += major;
      pMinor += minorStep;
    }
  }
  return list;
}
