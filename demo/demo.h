// DEMO: the intro's driver and its two scenes.
//
// DEMOInit creates every object once and loads the data files from the
// working directory; main then runs scene 1 and scene 2 in turn until a quit
// key, and DEMOFree fades the last frame to black and releases the frame image,
// the font, the keyboard and the display. Every scene draws characters into the
// text screen and calls DEMOFrame once per presented frame; all animation
// counts frames (there is no clock; the intros pace presentations only when
// asked to, which changes when a frame appears, never what it shows).
#pragma once

#include <cstdint>

#include "font/font.h"
#include "img/img.h"
#include "sdl/display.h"
#include "sdl/keyboard.h"
#include "textscreen/scroll.h"
#include "textscreen/stars.h"
#include "textscreen/textscreen.h"

struct RenderCache;  // demo/render.h

// The configured screen size in pixels (320 x 200 full screen, 640 x 480 in a
// window). Each program defines them in its configuration unit.
extern int32_t DEMO_SCREEN_WIDTH;
extern int32_t DEMO_SCREEN_HEIGHT;

inline constexpr int DEMO_FRAME_TEXTS = 25;
inline constexpr int DEMO_FRAME_TEXT_MAX =
    615;  // bytes used of each frame file

// Run states.
inline constexpr int8_t DEMO_RUNNING = 0;
inline constexpr int8_t DEMO_QUIT = 1;
inline constexpr int8_t DEMO_NEXT_SCENE = 2;

// The driver's module-level state: one instance, owned by the driver.
struct DemoState {
  Display* display;
  Keyboard* keyboard;
  Image* frame;        // the picture presented each frame
  Font* font;          // 8 x 8 cells, sheet from "font8x8.ppm"
  TextScreen* screen;  // DEMO_SCREEN_WIDTH / 8 x DEMO_SCREEN_HEIGHT / 8
  char* mapText;       // the whole of "WorldMap.txt", zero-terminated
  char* frameTexts[DEMO_FRAME_TEXTS];  // running-man frames, <= 615 bytes each
  Starfield* stars;
  Scroller* scroller;
  int8_t runState;        // DEMO_RUNNING, DEMO_QUIT or DEMO_NEXT_SCENE
  int32_t p, q;           // phase indexes into the sine table
  int32_t frameCounter;   // frames of scene 2, also advanced by DEMOFps
  int32_t presentations;  // frames presented so far, the fade's included
  RenderCache* renderCache;  // what the frame image shows; made at the first
                             // frame (none: every frame is drawn in full)
};

extern DemoState demo;

// Supplied by each program's configuration unit, beside the screen size:
// DEMOPresent shows the frame image (the intros call SDLDPYShow) and DEMOPoll
// reads the keyboard (the intros call SDLKBDGetKey). Recording and test
// programs supply their own, which watch the frames and script the keys.
void DEMOPresent(Display* display, const Image* frame);
void DEMOPoll(Keyboard* keyboard);

// The block-letter logo (five rows of 19 '0's and blanks, each row ended by
// '\n') and the scroll message, both built into the program.
extern const char DEMO_LOGO[];
extern const char DEMO_SCROLL_MESSAGE[];

// Creates every object and loads every data file, checking each as it goes.
// The data files must be regular files: each is opened without blocking and
// checked on the opened descriptor, so a FIFO, a device or a folder in its
// place is refused instead of read. A "font8x8.ppm" that is missing, no regular
// file or no readable image leaves the font without a sheet (black frames)
// after one line on standard error. A missing or unreadable text-art file, an
// object that cannot be made (memory ran out) or a refused video mode is named
// on standard error and makes DEMOInit return false; the caller then releases
// what was made with DEMOFree and exits with status 1.
bool DEMOInit();

// The largest text-art file that is loaded whole: 64 MiB. A bigger map is
// refused, which also keeps every measure of a text within 32 bits.
inline constexpr int64_t DEMO_TEXT_MAX_BYTES = int64_t(64) << 20;

// The reason DEMOLoadText gives when memory ran out (compare the pointer).
extern const char DEMO_OUT_OF_MEMORY[];

// Loads a text-art file (bytes as stored) as a zero-terminated text: the whole
// file when limit is negative (at most DEMO_TEXT_MAX_BYTES), otherwise at most
// limit bytes in a buffer of limit + 1 zeroed bytes. None if the file cannot
// be opened, is no regular file, is too big or cannot be read, or memory runs
// out; *reason (when given) then says why in a few words, and is
// DEMO_OUT_OF_MEMORY when memory ran out. Released with DEMOFreeText.
[[nodiscard]] char* DEMOLoadText(const char* fileName, int32_t limit,
                                 const char** reason = nullptr);
void DEMOFreeText(char* text);

// One presented frame: bring the frame image to the text screen's picture
// (the pixels of clearing it and rendering every cell, drawn where cells
// changed; see demo/render.h), show it, poll the keyboard and dispatch the
// key. Whoever else writes into the frame image between frames calls
// DEMORenderInvalidate(demo.renderCache) first; DEMODarken does.
void DEMOFrame();

// Draws every cell of screen into image through font at (8 * col, 8 * row).
void DEMORender(Image* image, const TextScreen* screen, const Font* font);

// Sets the run state from a key code: 27, 'q' and 'Q' quit, ' ' asks for the
// next scene, anything else does nothing.
void DEMOKey(int8_t key);

// The length of the longest line of text that ends with '\n' (a last line
// without one is not measured). Both measures stop at INT32_MAX.
int32_t DEMOTextWidth(const char* text);

// The number of '\n' in text plus 1.
int32_t DEMOTextHeight(const char* text);

// Darkens the frame image by 2 per channel 256 times, presenting each step;
// a quit event (SDL's, from the close button or a signal) pending after a
// step ends the fade there.
void DEMOFadeOut();

// Subtracts the low byte of amount from each colour channel of every pixel,
// clamping at 0; the top byte becomes 0. The next frame is drawn in full.
void DEMODarken(Image* image, int32_t amount);

// Frames per second since SDL started; counts one frame per call.
int32_t DEMOFps();

// Fades out (when a frame has been presented), then releases the frame image,
// the font, the keyboard and the display.
void DEMOFree();

// Releases, without a fade, everything DEMOInit made that is still there
// (DEMOFree's four objects, the text screen, the texts, the starfield and the
// scroller) and returns the driver's state to zero, as at program start, so
// that DEMOInit can run again. The intros never call it; programs that start
// the driver more than once do (the tests).
void DEMOReset();

// Scene 1: the world map drifts for 200 frames, then the running man runs for
// 200. Returns when the run state is non-zero after a frame, or at its end.
void DEMOScene1();

// Scene 2: starfield, swinging logo and scroller, until the run state is
// non-zero after a frame.
void DEMOScene2();

// main's scene loop after a successful DEMOInit: scenes in turn until quit.
void DEMORun();
