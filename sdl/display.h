// SDLDPY: the display singleton. It owns the program's one video surface,
// sets the video mode through SDL 1.2, captions the window "TANDRIX" and
// presents Images (0x00RRGGBB pixels) on the screen.
//
// There is at most one Display. Every operation works on it; a handle that is
// not the display fails the operation's guard, which reports through
// SDLDPYError (silent unless the trace switch is on) and changes nothing.
// SDL must be initialised first (SDLPlatformInit).
#pragma once

#include <cstdint>

#include "img/img.h"
#include "img/rect.h"

struct Display {
  int32_t width;  // as passed to the last successful SDLDPYSetMode
  int32_t height;
  int32_t bpp;  // bits per pixel of the screen surface
};

// Video-mode flags, with SDL 1.2's values, so that configuration units can
// name them without including SDL: a surface in video memory, any pixel
// format the screen offers, and the whole screen instead of a window.
inline constexpr uint32_t SDLDPY_HWSURFACE = 0x00000001u;
inline constexpr uint32_t SDLDPY_ANYFORMAT = 0x10000000u;
inline constexpr uint32_t SDLDPY_FULLSCREEN = 0x80000000u;

// The two sets the intros use: in a window, and full screen.
inline constexpr uint32_t SDLDPY_WINDOWED_FLAGS =
    SDLDPY_ANYFORMAT | SDLDPY_HWSURFACE;
inline constexpr uint32_t SDLDPY_FULLSCREEN_FLAGS =
    SDLDPY_FULLSCREEN | SDLDPY_WINDOWED_FLAGS;

// The video-mode flags SDLDPYSetMode asks for: SDLDPY_WINDOWED_FLAGS until
// the program says otherwise (the full-screen intro sets
// SDLDPY_FULLSCREEN_FLAGS through the driver's configuration).
extern uint32_t SDLDPY_MODE_FLAGS;

// The display, created with a 256 x 256 mode. If one exists: report and return
// it unchanged. None if it cannot be allocated.
[[nodiscard]] Display* SDLDPYNew();

// The display handle, or none while there is no display.
Display* SDLDPYCurrent();

// Releases the screen surface and the display and sets *display to none; a
// later SDLDPYNew builds a fresh display.
void SDLDPYFree(Display** display);

// Sets a width x height mode with the build's flags. If SDL refuses, the
// display is left without a screen surface (and keeps its old size); show
// operations then report and do nothing.
void SDLDPYSetMode(Display* display, int32_t width, int32_t height);

// True when display is the display and holds a screen surface (its last mode
// was granted).
bool SDLDPYHasScreen(const Display* display);

// SDL's own words for its last failure, such as a refused video mode.
const char* SDLDPYReason();

// Presents the top-left part of image that fits the display, in any screen
// depth; the rest of the screen keeps its content. The image is not changed.
// In a browser build (Emscripten's SDL 1.2, drawing on a canvas) the pixels
// are written as the canvas's R, G, B, A bytes and shown on unlocking.
void SDLDPYShow(Display* display, const Image* image);

// The most rectangles SDLDPYShowRects presents one by one; more are presented
// as the whole image.
inline constexpr int32_t SDLDPY_MAX_RECTS = 2048;

// Presents only the parts of image named by the count rectangles (in image
// pixels; each is cut to the part of the image that fits the display), when
// the screen shows image as it was before those parts changed: the last show
// operation since the mode was set presented this same image (the same
// handle, pixel array and size). Natively the parts are copied into the
// screen and handed to SDL_UpdateRects, which updates only them; in a browser
// build only they are written to the canvas. Otherwise (none for rects, a
// negative count or more than SDLDPY_MAX_RECTS, another image shown last, a
// screen of another format or double-buffered) it presents the whole image
// as SDLDPYShow does. No rectangle at all still presents (nothing changes).
void SDLDPYShowRects(Display* display, const Image* image,
                     const ImageRect* rects, int32_t count);

// Presents an image of exactly the display's size by lending its pixels to the
// screen surface. Needs a 32-bit screen whose pitch is width * 4. Runtimes
// that present from their own copy of the screen (sdl12-compat) show nothing
// new; the screen surface keeps its memory and content.
void SDLDPYShowDirect(Display* display, const Image* image);

// Copies an image of exactly the display's size into the screen surface and
// presents it. Needs a 32-bit screen whose pitch is width * 4.
void SDLDPYShowCopy(Display* display, const Image* image);

// The canonical operations every module carries, kept though the intro
// calls none of them. For a singleton: ToASCII gives a static empty text,
// FromASCII always none, Equal is true only for the display with itself, Copy
// returns the display itself.
const char* SDLDPYToASCII(const Display* display);
Display* SDLDPYFromASCII(const char* text);
bool SDLDPYEqual(const Display* a, const Display* b);
Display* SDLDPYCopy(const Display* display);

// The module's error report: "SDLDPY error\n" when tracing is on.
void SDLDPYError();
