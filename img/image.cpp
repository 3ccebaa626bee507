// The image object: life cycle, comparison, copy, pixel access and the
// transparent blit that draws every glyph of every frame.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "img/blit_internal.h"
#include "img/img.h"
#include "img/img_internal.h"

// Where the pixel arrays come from; see img.h. An embedder that defines
// IMG_MALLOC without IMG_CALLOC gets zeroed arrays from IMG_MALLOC and a
// memset.
#if !defined(IMG_MALLOC) && !defined(IMG_FREE)
#define IMG_MALLOC(size) std::malloc(size)
#define IMG_FREE(pointer) std::free(pointer)
#ifndef IMG_CALLOC
#define IMG_CALLOC(count, size) std::calloc(count, size)
#endif
#elif !defined(IMG_MALLOC) || !defined(IMG_FREE)
#error "IMG_MALLOC and IMG_FREE are defined together or not at all"
#endif
#ifndef IMG_CALLOC
#define IMG_CALLOC(count, size) ZeroedArray((count) * (size))
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

// Zeroed memory from an embedder's IMG_MALLOC that comes without IMG_CALLOC.
[[maybe_unused]] void* ZeroedArray(size_t bytes) {
  void* p = IMG_MALLOC(bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
}

// Pixel arrays hold at most INT32_MAX pixels, so n * 4 never overflows.
uint32_t* AllocatePixels(size_t n, bool zero) {
  return static_cast<uint32_t*>(zero ? IMG_CALLOC(n, sizeof(uint32_t))
                                     : IMG_MALLOC(n * sizeof(uint32_t)));
}

void ReleasePixels(Image* image) {
  if (image->pixels != emptyPixels) IMG_FREE(image->pixels);
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
  img_internal::ClipAndBlit(source->pixels, source->width, source->height,
                            destination->pixels, destination->width,
                            destination->height, {sx, sy, dx, dy, w, h});
}

void IMGError() { std::fputs("IMG error\n", stdout); }
