// The image object: life cycle, comparison, copy, pixel access and the
// transparent blit that draws every glyph of every frame.
#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "img/img.h"
#include "img/img_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Identification record of the module; nothing reads it.
[[maybe_unused]] constexpr struct {
  const char* name;
  int32_t date;
  const char* author;
} kIdent = {"IMG", 20081111, "intro"};

// Images without pixels share this array, so pixels is never null on a live
// image and an empty image costs no allocation.
uint32_t emptyPixels[1];

// Pixel arrays of 32 MiB and more are aligned to 2 MiB and advised to live on
// huge pages. The heap hands out arrays that large as fresh mappings every
// time, and a fresh mapping costs one page fault every 4 KiB on first touch,
// which for a 4096 x 4096 image outweighs everything else done while reading
// it. Smaller arrays come from the ordinary heap, which reuses freed memory.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kHugeFrom = size_t{32} << 20;

// The heap keeps freed blocks below 32 MiB for reuse, but returns larger ones
// to the system at once, so every large image would pay again for the kernel
// to clear fresh pages (a sixth of the time it takes to read a 4096 x 4096
// file). The most recently freed large array of up to 64 MiB of pixels (plus
// the slack of its alignment) is therefore kept as a spare for the next large
// array that fits in it: the same bound the heap itself may keep unreturned.
// The spare's size is the allocator's own figure for the block, never the
// image's fields, which a caller may have changed.
#if defined(__GLIBC__)
constexpr size_t kSpareAtMost = (size_t{64} << 20) + kHugePage;

std::mutex spareLock;
void* spare = nullptr;  // guarded by spareLock, as is spareBytes
size_t spareBytes = 0;

void* TakeSpare(size_t bytes) {
  std::lock_guard<std::mutex> hold(spareLock);
  if (!spare || spareBytes < bytes) return nullptr;
  void* p = spare;
  spare = nullptr;
  spareBytes = 0;
  return p;
}

// Frees p, or keeps it as the spare and frees the previous spare instead.
void FreeArray(void* p) {
  if (reinterpret_cast<uintptr_t>(p) % kHugePage == 0) {
    const size_t bytes = malloc_usable_size(p);
    if (bytes >= kHugeFrom && bytes <= kSpareAtMost) {
      std::lock_guard<std::mutex> hold(spareLock);
      std::swap(p, spare);
      spareBytes = bytes;
    }
  }
  std::free(p);
}
#else
void* TakeSpare(size_t) { return nullptr; }
void FreeArray(void* p) { std::free(p); }
#endif

uint32_t* AllocatePixels(size_t n, bool zero) {
  const size_t bytes = n * sizeof(uint32_t);
  if (bytes < kHugeFrom)
    return static_cast<uint32_t*>(zero ? std::calloc(n, sizeof(uint32_t))
                                       : std::malloc(bytes));
  void* p = TakeSpare(bytes);
  if (!p) {
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    p = std::aligned_alloc(kHugePage, rounded);
    if (!p) return nullptr;
    madvise(p, rounded, MADV_HUGEPAGE);  // only advice: failure changes nothing
  }
  if (zero) std::memset(p, 0, bytes);
  return static_cast<uint32_t*>(p);
}

void ReleasePixels(Image* image) {
  if (image->pixels != emptyPixels) FreeArray(image->pixels);
  image->pixels = emptyPixels;
}

// Gives image a width x height array, zeroed when zero is set. On an invalid
// size or a failed allocation: report, and a valid 0 x 0 image.
void Allocate(Image* image, int32_t width, int32_t height, bool zero) {
  ReleasePixels(image);
  image->width = 0;
  image->height = 0;
  int32_t n;
  if (!img_internal::PixelCount(width, height, &n)) {
    IMGError();
    return;
  }
  if (n > 0) {
    uint32_t* pixels = AllocatePixels(static_cast<size_t>(n), zero);
    if (!pixels) {
      IMGError();
      return;
    }
    image->pixels = pixels;
  }
  image->width = width;
  image->height = height;
}

// One row of the transparent copy between two different pixel arrays: each
// destination pixel takes the source value unless that value is 0.
void BlitRow(const uint32_t* __restrict s, uint32_t* __restrict d, int64_t n) {
  int64_t c = 0;
#if defined(__SSE2__)
  // Where the source is 0 the mask keeps the destination; elsewhere the
  // destination is masked out and the source value, or'ed in, replaces it.
  const __m128i zero = _mm_setzero_si128();
  for (; c + 4 <= n; c += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + c));
    __m128i* out = reinterpret_cast<__m128i*>(d + c);
    const __m128i kept =
        _mm_and_si128(_mm_loadu_si128(out), _mm_cmpeq_epi32(v, zero));
    _mm_storeu_si128(out, _mm_or_si128(kept, v));
  }
#endif
  for (; c < n; ++c)
    if (s[c]) d[c] = s[c];
}

}  // namespace

namespace img_internal {

bool PixelCount(int32_t width, int32_t height, int32_t* count) {
  if (width < 0 || height < 0) return false;
  int64_t n = static_cast<int64_t>(width) * height;
  if (n > INT32_MAX) return false;
  *count = static_cast<int32_t>(n);
  return true;
}

Image* NewSized(int32_t width, int32_t height, bool zero) {
  int32_t n;
  if (!PixelCount(width, height, &n)) {
    IMGError();
    return nullptr;
  }
  Image* image = IMGNew();
  if (!image) return nullptr;
  Allocate(image, width, height, zero);
  if (image->width != width || image->height != height) {
    IMGFree(&image);  // Allocate has reported the failed allocation
    return nullptr;
  }
  return image;
}

}  // namespace img_internal

Image* IMGNew() {
  auto* image = new (std::nothrow) Image{};
  if (!image) {
    IMGError();
    return nullptr;
  }
  image->pixels = AllocatePixels(16 * 16, true);
  if (!image->pixels) {
    delete image;
    IMGError();
    return nullptr;
  }
  image->width = 16;
  image->height = 16;
  return image;
}

void IMGFree(Image** image) {
  if (!image || !*image) {
    IMGError();
    return;
  }
  ReleasePixels(*image);
  delete *image;
  *image = nullptr;
}

bool IMGEqual(const Image* a, const Image* b) {
  if (!a || !b) {
    IMGError();
    return false;
  }
  if (a->width != b->width || a->height != b->height) return false;
  size_t n = static_cast<size_t>(a->width) * static_cast<size_t>(a->height);
  return n == 0 || std::memcmp(a->pixels, b->pixels, n * sizeof(uint32_t)) == 0;
}

Image* IMGCopy(const Image* source) {
  if (!source) {
    IMGError();
    return nullptr;
  }
  Image* copy = img_internal::NewSized(source->width, source->height, false);
  if (!copy) return nullptr;
  size_t n = static_cast<size_t>(source->width) * source->height;
  if (n) std::memcpy(copy->pixels, source->pixels, n * sizeof(uint32_t));
  return copy;
}

void IMGResize(Image* image, int32_t width, int32_t height) {
  if (!image) {
    IMGError();
    return;
  }
  Allocate(image, width, height, true);
}

void IMGClear(Image* image) {
  if (!image || !image->pixels) {
    IMGError();
    return;
  }
  size_t n = static_cast<size_t>(image->width) * image->height;
  if (n) std::memset(image->pixels, 0, n * sizeof(uint32_t));
}

void IMGSetPixel(Image* image, int32_t x, int32_t y, uint32_t value) {
  if (!image || !image->pixels) {
    IMGError();
    return;
  }
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
  image->pixels[static_cast<size_t>(y) * image->width + x] = value;
}

uint32_t IMGGetPixel(const Image* image, int32_t x, int32_t y) {
  if (!image) {
    IMGError();
    return 0;
  }
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
  return image->pixels[static_cast<size_t>(y) * image->width + x];
}

void IMGBlit(const Image* source, Image* destination, int32_t sx, int32_t sy,
             int32_t dx, int32_t dy, int32_t w, int32_t h) {
  if (!source || !destination || !source->pixels || !destination->pixels) {
    IMGError();
    return;
  }
  // Rejection and clipping run in 64 bits so that no argument can overflow.
  int64_t x0 = sx, y0 = sy, x1 = dx, y1 = dy, cw = w, ch = h;
  if (x1 >= destination->width || x1 + cw < 0 || y1 >= destination->height ||
      y1 + ch < 0)
    return;
  if (x0 >= source->width || x0 + cw < 0 || y0 >= source->height || y0 + ch < 0)
    return;
  if (x1 < 0) {
    cw += x1;
    x0 -= x1;
    x1 = 0;
  }
  if (y1 < 0) {
    ch += y1;
    y0 -= y1;
    y1 = 0;
  }
  if (x1 + cw > destination->width) cw = destination->width - x1;
  if (y1 + ch > destination->height) ch = destination->height - y1;
  if (x0 < 0) {
    cw += x0;
    x1 -= x0;
    x0 = 0;
  }
  if (y0 < 0) {
    ch += y0;
    y1 -= y0;
    y0 = 0;
  }
  // The source's right and bottom edges are clipped like the destination's,
  // so no rectangle can read outside the source.
  if (x0 + cw > source->width) cw = source->width - x0;
  if (y0 + ch > source->height) ch = source->height - y0;
  if (cw <= 0 || ch <= 0) return;

  const size_t sw = static_cast<size_t>(source->width);
  const size_t dw = static_cast<size_t>(destination->width);
  const uint32_t* s = source->pixels + y0 * sw + x0;
  uint32_t* d = destination->pixels + y1 * dw + x1;
  // A blit within one image reads pixels that it may already have written,
  // so it keeps the plain pixel-by-pixel order.
  const bool separate = source->pixels != destination->pixels;
  for (int64_t r = 0; r < ch; ++r, s += sw, d += dw) {
    if (separate)
      BlitRow(s, d, cw);
    else
      for (int64_t c = 0; c < cw; ++c)
        if (s[c]) d[c] = s[c];
  }
}

void IMGError() { std::fputs("IMG error\n", stdout); }
