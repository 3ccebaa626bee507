// The lower half of the transparent blit, shared by the image, font and demo
// modules; not part of the library's interface. IMGBlit, FONTPutChar and
// DEMORender check their arguments and clip once; what they hand to BlitRect
// lies inside both pixel arrays and is not checked again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace img_internal {

// One row of the transparent copy, a pixel at a time and in order: each target
// pixel takes the source value unless that value is 0. Right even when the
// rows overlap, because every pixel is read after those before it are written.
inline void BlitRowScalar(const uint32_t* s, uint32_t* d, int64_t n) {
  for (int64_t c = 0; c < n; ++c)
    if (s[c]) d[c] = s[c];
}

// The same for rows that do not overlap, four pixels at a time with SSE2:
// where the source is 0 the mask keeps the target pixel, elsewhere the target
// is masked out and the source value, or'ed in, replaces it. The pixels are
// those of BlitRowScalar.
inline void BlitRow(const uint32_t* __restrict s, uint32_t* __restrict d,
                    int64_t n) {
  int64_t c = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; c + 4 <= n; c += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + c));
    __m128i* out = reinterpret_cast<__m128i*>(d + c);
    const __m128i kept =
        _mm_and_si128(_mm_loadu_si128(out), _mm_cmpeq_epi32(v, zero));
    _mm_storeu_si128(out, _mm_or_si128(kept, v));
  }
#endif
  BlitRowScalar(s + c, d + c, n - c);
}

// Copies rows x width pixels from source, whose rows are sourceWidth pixels
// apart, onto target, whose rows are targetWidth apart, skipping source pixels
// of value 0. sameArray: source and target lie in one pixel array, so pixels
// go one at a time in row-major order (a pixel read may just have been
// written).
inline void BlitRect(const uint32_t* source, size_t sourceWidth,
                     uint32_t* target, size_t targetWidth, int64_t width,
                     int64_t rows, bool sameArray = false) {
  for (int64_t r = 0; r < rows; ++r, source += sourceWidth, target += targetWidth)
    if (sameArray)
      BlitRowScalar(source, target, width);
    else
      BlitRow(source, target, width);
}

// A blit rectangle: w x h pixels from (sx, sy) of a source to (dx, dy) of a
// target, in 64 bits so that no 32-bit argument can overflow.
struct BlitArea {
  int64_t sx, sy, dx, dy, w, h;
};

// Clips area to a source of sw x sh and a target of dw x dh pixels: what
// remains is every offset (i, j) of the rectangle whose source and target
// pixels both lie inside their images. False when nothing remains. This is
// the clipping of IMGBlit: its rejection tests and its edge-by-edge steps keep
// exactly these offsets.
inline bool ClipArea(int64_t sw, int64_t sh, int64_t dw, int64_t dh,
                     BlitArea* area) {
  const int64_t i0 = std::max<int64_t>({0, -area->sx, -area->dx});
  const int64_t j0 = std::max<int64_t>({0, -area->sy, -area->dy});
  const int64_t i1 = std::min({area->w, sw - area->sx, dw - area->dx});
  const int64_t j1 = std::min({area->h, sh - area->sy, dh - area->dy});
  if (i1 <= i0 || j1 <= j0) return false;
  area->sx += i0;
  area->dx += i0;
  area->sy += j0;
  area->dy += j0;
  area->w = i1 - i0;
  area->h = j1 - j0;
  return true;
}

// Clips area to the two images and draws what remains. The caller has checked
// that both have pixel arrays.
inline void ClipAndBlit(const uint32_t* source, int32_t sw, int32_t sh,
                        uint32_t* target, int32_t dw, int32_t dh,
                        BlitArea area) {
  if (!ClipArea(sw, sh, dw, dh, &area)) return;
  const uint32_t* s = source + area.sy * sw + area.sx;
  uint32_t* d = target + area.dy * dw + area.dx;
  const bool sameArray = source == target;
  // Rows of 8, the width of the common glyph, get a copy unrolled for them.
  if (area.w == 8 && !sameArray)
    BlitRect(s, static_cast<size_t>(sw), d, static_cast<size_t>(dw), 8,
             area.h);
  else
    BlitRect(s, static_cast<size_t>(sw), d, static_cast<size_t>(dw), area.w,
             area.h, sameArray);
}

}  // namespace img_internal
