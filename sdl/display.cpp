// The display singleton: video mode, window caption and the three ways of
// presenting an Image on the screen surface.
#include "sdl/display.h"

#include <SDL.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Identification record of the module; nothing reads it.
[[maybe_unused]] constexpr struct {
  int32_t date;
  const char* author;
} kIdent = {20081029, "intro"};

// Error reports print only when this is on; both intros build with it off.
constexpr bool kTrace = false;

constexpr const char* kCaption = "TANDRIX";
constexpr int32_t kFirstSide = 256;  // SDLDPYNew's first mode is 256 x 256

// The Image layout (0x00RRGGBB in 32 bits) as SDL masks.
constexpr Uint32 kRedMask = 0x00FF0000;
constexpr Uint32 kGreenMask = 0x0000FF00;
constexpr Uint32 kBlueMask = 0x000000FF;
#ifndef __EMSCRIPTEN__
constexpr Uint32 kAlphaMask = 0xFF000000;  // covers the top byte

// The header's flags are SDL 1.2's own. (Emscripten's SDL emulation numbers
// them differently; the browser build passes the same values as the native
// intros, as it always has.)
#ifndef __EMSCRIPTEN__
static_assert(SDLDPY_HWSURFACE == SDL_HWSURFACE);
static_assert(SDLDPY_ANYFORMAT == SDL_ANYFORMAT);
static_assert(SDLDPY_FULLSCREEN == SDL_FULLSCREEN);
#endif

// SDL 1.2 keeps a surface's pitch in 16 bits.
constexpr int64_t kMaxPitch = 0xFFFF;
#endif

Display* current = nullptr;  // the one display
SDL_Surface* screen =
    nullptr;                  // from the last SDL_SetVideoMode; none if failed
bool doubleBuffered = false;  // screen has SDL_DOUBLEBUF

// The image whose whole picture the screen holds: what the last show
// presented since the mode was set (none after SDLDPYShowDirect, which leaves
// the screen's memory as it was). SDLDPYShowRects updates it part by part.
struct Shown {
  const Image* image;
  const uint32_t* pixels;
  int32_t width, height;
};
Shown onScreen = {};

void NoteShown(const Image* image);

// The screen holds the whole picture of image as it was last presented.
bool ShowsImage(const Image* image) {
  return onScreen.image == image && onScreen.pixels == image->pixels &&
         onScreen.width == image->width && onScreen.height == image->height;
}

struct SurfaceDeleter {
  void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

bool IsDisplay(const Display* display) { return display && display == current; }

// The guard of the show operations: the display, and an image with pixels.
bool CanShow(const Display* display, const Image* image) {
  return IsDisplay(display) && image && image->pixels;
}

// A screen surface exists and its rows are long enough for its width (an
// oversized mode can leave SDL 1.2 with a wrapped-around 16-bit pitch).
bool ScreenUsable() {
  return screen && screen->w >= 0 && screen->h >= 0 &&
         screen->pitch >= int64_t(screen->w) * screen->format->BytesPerPixel;
}

// The screen is exactly width x height consecutive 32-bit pixels, the layout
// that SDLDPYShowDirect and SDLDPYShowCopy write.
bool ScreenIsImageLike() {
  return screen && screen->format->BitsPerPixel == 32 &&
         screen->w == current->width && screen->h == current->height &&
         screen->pitch == int64_t(current->width) * 4;
}

#ifndef __EMSCRIPTEN__
// The screen stores pixels exactly as an Image does (0x00RRGGBB in 32 bits),
// so SDL's conversion would change no value and its blit is a plain copy.
bool ScreenHasImageFormat() {
  const SDL_PixelFormat* f = screen->format;
  return f->BitsPerPixel == 32 && f->Rmask == kRedMask &&
         f->Gmask == kGreenMask && f->Bmask == kBlueMask && f->Amask == 0;
}
#endif

void Present() {
  if (doubleBuffered)
    SDL_Flip(screen);
  else
    SDL_UpdateRect(screen, 0, 0, 0, 0);
}

#ifdef __EMSCRIPTEN__

// Emscripten's SDL 1.2 draws its screen on a canvas. The screen surface holds
// bytes R, G, B, A whatever its masks say, the picture reaches the canvas when
// the surface is unlocked, and there is no SDL_DisplayFormat. The w x h
// top-left part of image is written into the screen, inside its clip
// rectangle, each 0x00RRGGBB pixel as those four bytes (A opaque), so the
// canvas holds exactly the image's colours.
bool CopyToCanvasScreen(const Image* image, int32_t w, int32_t h) {
  const SDL_Rect& clip = screen->clip_rect;
  const int32_t x0 = clip.x > 0 ? clip.x : 0;
  const int32_t y0 = clip.y > 0 ? clip.y : 0;
  int32_t x1 = clip.x + clip.w < w ? clip.x + clip.w : w;
  int32_t y1 = clip.y + clip.h < h ? clip.y + clip.h : h;
  if (x1 > screen->w) x1 = screen->w;
  if (y1 > screen->h) y1 = screen->h;
  if (x0 >= x1 || y0 >= y1) return true;
  if (SDL_LockSurface(screen) < 0) return false;
  const size_t sourcePitch = static_cast<size_t>(image->width);
  const uint32_t* from = image->pixels + y0 * sourcePitch;
  auto* row = static_cast<uint8_t*>(screen->pixels) +
              static_cast<size_t>(y0) * screen->pitch;
  for (int32_t y = y0; y < y1; ++y, from += sourcePitch, row += screen->pitch) {
    auto* to = reinterpret_cast<uint32_t*>(row);
    for (int32_t x = x0; x < x1; ++x) {
      const uint32_t v = from[x];
      to[x] = 0xFF000000u | (v & kGreenMask) | (v & kRedMask) >> 16 |
              (v & kBlueMask) << 16;
    }
  }
  SDL_UnlockSurface(screen);
  return true;
}

#else

// Shows the w x h top-left part of image on a screen of the Image format: the
// rows are copied straight into the screen, inside its clip rectangle, which
// is the picture the plain copying blit gives, without SDL's blit machinery
// (which copies at half memcpy speed). The image is only read.
bool CopyToScreen(const Image* image, int32_t w, int32_t h) {
  const SDL_Rect& clip = screen->clip_rect;
  const int32_t x0 = clip.x > 0 ? clip.x : 0;
  const int32_t y0 = clip.y > 0 ? clip.y : 0;
  const int32_t x1 = clip.x + clip.w < w ? clip.x + clip.w : w;
  const int32_t y1 = clip.y + clip.h < h ? clip.y + clip.h : h;
  if (x0 >= x1 || y0 >= y1) return true;
  if (SDL_LockSurface(screen) < 0) return false;
  const size_t sourcePitch = static_cast<size_t>(image->width);
  const size_t bytes = static_cast<size_t>(x1 - x0) * sizeof(uint32_t);
  const uint32_t* __restrict from = image->pixels + y0 * sourcePitch + x0;
  auto* __restrict to = static_cast<uint8_t*>(screen->pixels) +
                        static_cast<size_t>(y0) * screen->pitch +
                        static_cast<size_t>(x0) * sizeof(uint32_t);
  for (int32_t y = y0; y < y1; ++y, from += sourcePitch, to += screen->pitch)
    std::memcpy(to, from, bytes);
  SDL_UnlockSurface(screen);
  return true;
}

// Blits columns 0 .. w - 1 of image rows top .. top + rows - 1 onto the screen
// at (0, top) through SDL's conversion to the screen's format. The temporary
// surface is made over the image's own memory, pitch bytes a row (nothing is
// copied); its alpha mask covers the image's top byte.
bool ConvertRows(const Image* image, int32_t top, int32_t w, int32_t rows,
                 int pitch) {
  void* first = const_cast<uint32_t*>(image->pixels) +
                static_cast<size_t>(top) * static_cast<size_t>(image->width);
  SurfacePtr lent(SDL_CreateRGBSurfaceFrom(first, w, rows, 32, pitch, kRedMask,
                                           kGreenMask, kBlueMask, kAlphaMask));
  if (!lent) return false;
  SurfacePtr converted(SDL_DisplayFormat(lent.get()));
  if (!converted) return false;
  SDL_Rect at = {0, static_cast<Sint16>(top), 0, 0};
  SDL_UpperBlit(converted.get(), nullptr, screen, &at);
  return true;
}

// Shows the w x h top-left part of image on a screen of any format.
bool ConvertToScreen(const Image* image, int32_t w, int32_t h) {
  const int64_t imagePitch = int64_t(image->width) * 4;
  if (imagePitch <= kMaxPitch)
    return ConvertRows(image, 0, w, h, static_cast<int>(imagePitch));
  // Rows too long for a 16-bit pitch go one at a time; only the rows a blit
  // can reach on the screen (16-bit positions) are worth the trip.
  if (h > screen->h) h = screen->h;
  if (h > INT16_MAX + 1) h = INT16_MAX + 1;
  for (int32_t y = 0; y < h; ++y)
    if (!ConvertRows(image, y, w, 1, w * 4)) return false;
  return true;
}

#endif  // __EMSCRIPTEN__

// SDLDPYShowRects can present parts on this screen: the screen's 16-bit
// positions reach every pixel, and (natively) it stores pixels as an Image
// does, so a part is a plain copy.
bool PartsFit() {
  if (screen->w > INT16_MAX || screen->h > INT16_MAX) return false;
#ifdef __EMSCRIPTEN__
  return true;
#else
  return ScreenHasImageFormat();
#endif
}

#ifdef __EMSCRIPTEN__

// Writes the parts of the picture at pixels (width pixels a row, w x h of
// them shown) into the page's canvas, each 0x00RRGGBB pixel as R, G, B, A
// bytes (A opaque), the bytes SDL's own unlock writes. The page keeps a copy
// of the canvas's picture (Module.partsImage); it is brought up to date whole
// when whole is set (the canvas was drawn another way since), otherwise part
// by part. The copy is put on the canvas through dirty rectangles, one for
// each run of parts that share their rows (a band of cells), so only the
// changed bands reach the canvas.
EM_JS(void, WebPutParts,
      (const uint32_t* pixels, int width, int w, int h, const SDL_Rect* parts,
       int count, int whole), {
  var canvas = Module['canvas'];
  var ctx = canvas.getContext('2d');
  var frame = Module.partsImage;
  if (!frame || frame.width != canvas.width || frame.height != canvas.height) {
    frame = Module.partsImage = ctx.createImageData(canvas.width, canvas.height);
    whole = 1;
  }
  var to = new Uint32Array(frame.data.buffer);
  var from = HEAPU32, base = pixels >> 2, pitch = frame.width;
  function convert(x, y, w, h) {
    for (var j = y; j < y + h; j++) {
      var s = base + j * width + x, d = j * pitch + x;
      for (var i = 0; i < w; i++) {
        var v = from[s + i];
        to[d + i] = 0xFF000000 | (v & 0xFF00) | ((v >>> 16) & 0xFF) |
                    ((v & 0xFF) << 16);
      }
    }
  }
  if (whole) convert(0, 0, Math.min(w, pitch), Math.min(h, frame.height));
  var k = 0;
  while (k < count) {
    var at = (parts >> 2) + 4 * k;
    var y = HEAP32[at + 1], rows = HEAP32[at + 3];
    var left = HEAP32[at], right = left;
    for (; k < count; k++, at += 4) {
      if (HEAP32[at + 1] != y || HEAP32[at + 3] != rows) break;
      var x = HEAP32[at], pw = HEAP32[at + 2];
      if (!whole) convert(x, y, pw, rows);
      right = x + pw;
    }
    ctx.putImageData(frame, 0, 0, left, y, right - left, rows);
  }
});

// The page's copy of the canvas holds the picture last presented.
bool mirrorCurrent = false;

// The parts of image reach the canvas; the screen surface is left as it is
// (a whole show rewrites it from the image).
bool PresentParts(const Image* image, const SDL_Rect* parts, int n) {
  WebPutParts(image->pixels, image->width,
              std::min(image->width, current->width),
              std::min(image->height, current->height), parts, n,
              !mirrorCurrent);
  mirrorCurrent = true;
  return true;
}

#else

// Copies the parts of image into the screen (whose format is the image's)
// and updates only them (band by band) on the display.
bool PresentParts(const Image* image, SDL_Rect* parts, int n) {
  if (n > 0) {
    if (SDL_LockSurface(screen) < 0) return false;
    const size_t sourcePitch = static_cast<size_t>(image->width);
    for (int k = 0; k < n; ++k) {
      const SDL_Rect& r = parts[k];
      const size_t bytes = size_t(r.w) * sizeof(uint32_t);
      const uint32_t* from = image->pixels + size_t(r.y) * sourcePitch + r.x;
      auto* to = static_cast<uint8_t*>(screen->pixels) +
                 size_t(r.y) * screen->pitch + size_t(r.x) * sizeof(uint32_t);
      for (int y = 0; y < r.h; ++y, from += sourcePitch, to += screen->pitch)
        std::memcpy(to, from, bytes);
    }
    SDL_UnlockSurface(screen);
  }
  // The screen now holds the whole picture, so the parts that share their
  // rows (a band of cells) go to the display as one rectangle: each
  // rectangle is a request of its own to the window system, and a few more
  // unchanged pixels cost less than another request.
  int bands = 0;
  for (int k = 0; k < n; ++k) {
    SDL_Rect& last = parts[bands - 1];
    if (bands > 0 && last.y == parts[k].y && last.h == parts[k].h)
      last.w = static_cast<Uint16>(parts[k].x + parts[k].w - last.x);
    else
      parts[bands++] = parts[k];
  }
  // Even with no part the frame is presented, so each call is one
  // presentation, as for the other show operations.
  SDL_UpdateRects(screen, bands, parts);
  return true;
}

#endif  // __EMSCRIPTEN__

void NoteShown(const Image* image) {
  onScreen = {image, image->pixels, image->width, image->height};
#ifdef __EMSCRIPTEN__
  mirrorCurrent = false;  // the canvas was drawn whole, without the copy
#endif
}

}  // namespace

uint32_t SDLDPY_MODE_FLAGS = SDLDPY_WINDOWED_FLAGS;

Display* SDLDPYNew() {
  if (current) {
    SDLDPYError();
    return current;
  }
  auto* display = new (std::nothrow) Display{};
  if (!display) {
    SDLDPYError();
    return nullptr;
  }
  current = display;
  SDLDPYSetMode(display, kFirstSide, kFirstSide);
  return display;
}

Display* SDLDPYCurrent() { return current; }

void SDLDPYFree(Display** display) {
  if (!display || !IsDisplay(*display)) {
    SDLDPYError();
    return;
  }
  // SDL owns the video surface; freeing it is a no-op that SDL allows.
  if (screen) SDL_FreeSurface(screen);
  screen = nullptr;
  doubleBuffered = false;
  onScreen = {};
  delete current;
  current = nullptr;
  *display = nullptr;
}

void SDLDPYSetMode(Display* display, int32_t width, int32_t height) {
  if (!display || !current || width < 0 || height < 0) {
    SDLDPYError();
    return;
  }
  if (screen) SDL_FreeSurface(screen);
  onScreen = {};
  screen = SDL_SetVideoMode(width, height, 0, SDLDPY_MODE_FLAGS);
  if (!screen) {
    SDLDPYError();
    return;
  }
  SDL_WM_SetCaption(kCaption, kCaption);
  current->bpp = screen->format->BitsPerPixel;
  current->width = width;
  current->height = height;
  doubleBuffered = (screen->flags & SDL_DOUBLEBUF) != 0;
}

bool SDLDPYHasScreen(const Display* display) {
  return IsDisplay(display) && screen;
}

const char* SDLDPYReason() {
  const char* reason = SDL_GetError();
  return reason && *reason ? reason : "no reason given";
}

void SDLDPYShow(Display* display, const Image* image) {
  if (!CanShow(display, image) || !ScreenUsable()) {
    SDLDPYError();
    return;
  }
  int32_t w = image->width < current->width ? image->width : current->width;
  int32_t h = image->height < current->height ? image->height : current->height;
  if (w > 0 && h > 0) {
#ifdef __EMSCRIPTEN__
    const bool shown = CopyToCanvasScreen(image, w, h);
#else
    const bool shown = ScreenHasImageFormat() ? CopyToScreen(image, w, h)
                                              : ConvertToScreen(image, w, h);
#endif
    if (!shown) {
      SDLDPYError();
      return;
    }
  }
  NoteShown(image);
  Present();
}

void SDLDPYShowRects(Display* display, const Image* image,
                     const ImageRect* rects, int32_t count) {
  if (!CanShow(display, image) || !ScreenUsable()) {
    SDLDPYError();
    return;
  }
  if (!rects || count < 0 || count > SDLDPY_MAX_RECTS || doubleBuffered ||
      !ShowsImage(image) || !PartsFit()) {
    SDLDPYShow(display, image);
    return;
  }
  // The parts cut to the image, the display and the screen's clip rectangle.
  const int32_t w = std::min(image->width, current->width);
  const int32_t h = std::min(image->height, current->height);
  const SDL_Rect& clip = screen->clip_rect;
  const int32_t left = std::max<int32_t>(0, clip.x);
  const int32_t top = std::max<int32_t>(0, clip.y);
  const int32_t right = std::min<int32_t>(w, clip.x + clip.w);
  const int32_t bottom = std::min<int32_t>(h, clip.y + clip.h);
  SDL_Rect parts[SDLDPY_MAX_RECTS];
  int n = 0;
  for (int32_t k = 0; k < count; ++k) {
    const ImageRect& r = rects[k];
    const int64_t x0 = std::max<int64_t>(left, r.x);
    const int64_t y0 = std::max<int64_t>(top, r.y);
    const int64_t x1 = std::min<int64_t>(right, int64_t{r.x} + r.w);
    const int64_t y1 = std::min<int64_t>(bottom, int64_t{r.y} + r.h);
    if (x0 >= x1 || y0 >= y1) continue;
    SDL_Rect& part = parts[n++];
    part.x = static_cast<Sint16>(x0);
    part.y = static_cast<Sint16>(y0);
    part.w = static_cast<Uint16>(x1 - x0);
    part.h = static_cast<Uint16>(y1 - y0);
  }
  if (!PresentParts(image, parts, n)) SDLDPYError();
}

namespace {

// The guard of the in-place operations: an image of exactly the display's
// size, a screen laid out like it, and the screen locked. False (after a
// report) when any of these fails; the screen is then not locked.
bool LockForImage(Display* display, const Image* image) {
  if (!CanShow(display, image) || image->width != current->width ||
      image->height != current->height || !ScreenIsImageLike() ||
      SDL_LockSurface(screen) < 0) {
    SDLDPYError();
    return false;
  }
  return true;
}

}  // namespace

// On SDL implementations that present from a surface of their own (the
// sdl12-compat runtime keeps one behind the 1.2 surface) the lent pointer is
// not what gets shown, and the screen keeps its previous picture.
void SDLDPYShowDirect(Display* display, const Image* image) {
  if (!LockForImage(display, image)) return;
  void* own = screen->pixels;
  screen->pixels = const_cast<uint32_t*>(image->pixels);
  Present();
  screen->pixels = own;
  SDL_UnlockSurface(screen);
  onScreen = {};  // the screen's own memory was not written
}

void SDLDPYShowCopy(Display* display, const Image* image) {
  if (!LockForImage(display, image)) return;
  const size_t n = static_cast<size_t>(current->width) * current->height;
  if (n) std::memcpy(screen->pixels, image->pixels, n * sizeof(uint32_t));
  SDL_UnlockSurface(screen);
  NoteShown(image);
  Present();
}

const char* SDLDPYToASCII(const Display* display) {
  static const char empty[] = "";
  if (!IsDisplay(display)) {
    SDLDPYError();
    return nullptr;
  }
  return empty;
}

Display* SDLDPYFromASCII(const char* text) {
  if (!text || current) SDLDPYError();
  return nullptr;
}

bool SDLDPYEqual(const Display* a, const Display* b) {
  if (!IsDisplay(a) || a != b) {
    SDLDPYError();
    return false;
  }
  return true;
}

Display* SDLDPYCopy(const Display* display) {
  if (!IsDisplay(display)) {
    SDLDPYError();
    return nullptr;
  }
  return current;
}

void SDLDPYError() {
  if constexpr (kTrace) std::fputs("SDLDPY error\n", stdout);
}
