// DEMO: the intro's driver and its two scenes.
//
// DEMOInit creates every object once and loads the data files from the
// working directory; main then runs scene 1 and scene 2 in turn until a quit
// key, and DEMOFree fades the last frame (and the soundtrack) to black and
// releases the frame image, the font, the keyboard and the display. Every scene draws characters into the
// text screen and calls DEMOFrame once per presented frame; all animation
// counts frames (there is no clock; the intros pace presentations only when
// asked to, which changes when a frame appears, never what it shows).
#pragma once

#include <cstdint>

#include "font/font.h"
#include "img/img.h"
#include "render/render.h"
#include "sdl/display.h"
#include "sdl/keyboard.h"
#include "synth/synth.h"
#include "textscreen/scroll.h"
#include "textscreen/stars.h"
#include "textscreen/textscreen.h"

struct RenderCache;  // render/render.h

// The configured screen size in pixels (320 x 200 full screen, 640 x 480 in a
// window): 640 x 480 until a program configures another (DEMOConfigure).
extern int32_t DEMO_SCREEN_WIDTH;
extern int32_t DEMO_SCREEN_HEIGHT;

inline constexpr int DEMO_FRAME_TEXTS = 25;
inline constexpr int DEMO_FRAME_TEXT_MAX =
    615;  // bytes used of each frame file

// Run states.
inline constexpr int8_t DEMO_RUNNING = 0;
inline constexpr int8_t DEMO_QUIT = 1;
inline constexpr int8_t DEMO_NEXT_SCENE = 2;
inline constexpr int8_t DEMO_RESTART_SCENE = 4;  // a data file was reloaded

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
  int8_t runState;        // DEMO_RUNNING, DEMO_QUIT, DEMO_NEXT_SCENE or
                          // DEMO_RESTART_SCENE
  int32_t p, q;           // phase indexes into the sine table
  // Frames of scene 2, also advanced by DEMOFps; its parity sets the
  // scroller's steps. It wraps modulo 2^32, which keeps the parity going.
  uint32_t frameCounter;
  // Frames presented so far, the fade's included. It stops at INT32_MAX
  // (2^31 - 1 presentations: 414 days at 60 a second) rather than wrap.
  int32_t presentations;
  char* message;  // "message.txt" when good; none: the built-in message
  char* logo;     // "logo.txt", rows padded to the widest; none: built in
  RenderCache* renderCache;  // what the frame image shows; made at the first
                             // frame (none: every frame is drawn in full)
  Synth* synth;  // the soundtrack's synth; none when it is off
};

extern DemoState demo;

// How a program has the soundtrack played.
enum class DemoSound : uint8_t {
  Off,     // no song read, no audio device (the tests, --mute)
  Device,  // song.txt played through SDL's audio device as the frames go by
  Render,  // song.txt read into demo.synth, no device: the program renders
           // it itself, in step with its presentations (the recorder, the
           // browser pages)
};

// What makes one program differ from another, stated once by each program
// and handed to the driver with DEMOConfigure before DEMOInit: the screen
// size, the video-mode flags, how a frame is presented and how the keyboard
// is polled. The two hooks are the driver's only callbacks; a program that
// leaves one none gets the intros' behaviour.
struct DemoConfig {
  int32_t width = 640;  // screen size in pixels, multiples of 8
  int32_t height = 480;
  uint32_t modeFlags = SDLDPY_WINDOWED_FLAGS;  // or SDLDPY_FULLSCREEN_FLAGS
  // Shows the frame image; none: DEMOPace, then DEMOShowFrame. Recording
  // and test programs watch the frames here.
  void (*present)(Display* display, const Image* frame) = nullptr;
  // Reads the keyboard into its key buffer; none: SDLKBDGetKey. Recording and
  // test programs queue their scripted keys here first.
  void (*poll)(Keyboard* keyboard) = nullptr;
  // The soundtrack: off unless a program asks for it.
  DemoSound sound = DemoSound::Off;
};

// Sets DEMO_SCREEN_WIDTH, DEMO_SCREEN_HEIGHT, SDLDPY_MODE_FLAGS, the two
// hooks and the sound from config. Programs that never call it run as the windowed intro.
void DEMOConfigure(const DemoConfig& config);

// Presents the frame image through the configured present.
void DEMOPresent(Display* display, const Image* frame);

// Shows the frame image as the intros do: only the parts the last frame
// changed, when the render knows them (SDLDPYShowRects), else all of it. For
// presents of programs' own that show the frame.
void DEMOShowFrame(Display* display, const Image* frame);

// Polls the keyboard through the configured poll.
void DEMOPoll(Keyboard* keyboard);

// Paces the presentations at fps a second (1 to 1000; 0, the start, is
// unlimited) on absolute deadlines; DEMOPace waits for the next one. The
// default present paces every presentation; a program with a present of its
// own calls DEMOPace where it wants the wait.
void DEMOSetRate(int32_t fps);
void DEMOPace();

// Ends the run after the current frame, as a quit key does: scenes return,
// DEMORun stops. For programs that stop the intro themselves (the recorder
// after its last presentation).
void DEMOStop();

// The block-letter logo (five rows of 19 '0's and blanks, each row ended by
// '\n') and the scroll message, both built into the program.
extern const char DEMO_LOGO[];
extern const char DEMO_SCROLL_MESSAGE[];

// The scroll message and the logo the intro shows: the data folder's
// "message.txt" and "logo.txt" when it has them and they pass their checks
// (demo/data_check.h), the built-in texts otherwise.
const char* DEMOMessage();
const char* DEMOLogo();

// Creates every object and loads every data file, checking each as it goes.
// The data files must be regular files: each is opened without blocking and
// checked on the opened descriptor, so a FIFO, a device or a folder in its
// place is refused instead of read. A "font8x8.ppm" that is missing, no regular
// file or no readable image leaves the font without a sheet (black frames)
// after one line on standard error. An optional "message.txt" or "logo.txt"
// that is absent leaves the built-in text; one that cannot be read or fails
// its checks does too, after one line on standard error naming the first
// problem. A missing or unreadable text-art file, an
// object that cannot be made (memory ran out) or a refused video mode is named
// on standard error and makes DEMOInit return false; the caller then releases
// what was made with DEMOFree and exits with status 1.
//
// With the sound on, "song.txt" is read last into demo.synth, and with
// DemoSound::Device the audio device is then opened to play it. A song that
// is missing or malformed, no audio device, or a format SDL refuses: one line
// on standard error, and the intro runs as usual, silent (a synth of silence,
// no device). Neither the audio callback nor the frame loop ever waits for the
// other.
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
// changed; see render/render.h), show it, poll the keyboard and dispatch the
// key; then, when the data folder is watched (demo/watch.h), take in the data
// files that changed. Whoever else writes into the frame image between frames
// calls DEMORenderInvalidate(demo.renderCache) first; DEMODarken does.
void DEMOFrame();

// Sets the run state from a key code: 27, 'q' and 'Q' quit, ' ' asks for the
// next scene, anything else does nothing.
void DEMOKey(int8_t key);

// The length of the longest line of text that ends with '\n' (a last line
// without one is not measured). Both measures stop at INT32_MAX.
int32_t DEMOTextWidth(const char* text);

// The number of '\n' in text plus 1.
int32_t DEMOTextHeight(const char* text);

// Darkens the frame image by 2 per channel 256 times, presenting each step,
// and fades the soundtrack with it: before step k (from 0) the synth's gain
// is set to go to DEMOFadeGain(k), reaching silence on the last step. A quit
// event (SDL's, from the close button or a signal) pending after a step ends
// the fade there, and the sound with it at once. A paced run presents the fade at no fewer than
// DEMO_FADE_RATE presentations a second, so it lasts at most a second.
void DEMOFadeOut();
inline constexpr int32_t DEMO_FADE_RATE = 256;
inline constexpr int32_t DEMO_FADE_STEPS = 256;

// The master gain that fade step k (0 .. DEMO_FADE_STEPS - 1) ends on:
// SYNTH_GAIN_FULL down to 0 in even steps.
constexpr int32_t DEMOFadeGain(int32_t k) {
  return SYNTH_GAIN_FULL * (DEMO_FADE_STEPS - 1 - k) / DEMO_FADE_STEPS;
}

// Subtracts the low byte of amount from each colour channel of every pixel,
// clamping at 0; the top byte becomes 0. The next frame is drawn in full.
void DEMODarken(Image* image, int32_t amount);

// Frames per second since SDL started; counts one frame per call. Part of the
// driver's interface though no scene or program calls it (a caller would also
// shift the parity on which scene 2 steps its scroller).
int32_t DEMOFps();

// Fades out (when a frame has been presented), closes the audio device once
// what it plays is silent (waiting a few milliseconds at most) or at once
// after a fade cut short, then releases the synth, the frame image, the font,
// the keyboard and the display.
void DEMOFree();

// Releases, without a fade, everything DEMOInit made that is still there
// (the audio device, DEMOFree's five objects, the text screen, the texts, the
// starfield and the scroller), stops the watcher and returns the driver's
// state to zero, as at program start, so that DEMOInit can run again. The
// intros never call it; programs that start the driver more than once do (the
// tests).
void DEMOReset();

// Scene 1: the world map drifts for 200 frames, then the running man runs for
// 200. Returns when the run state is non-zero after a frame, or at its end.
void DEMOScene1();

// Scene 2: starfield, swinging logo and scroller, until the run state is
// non-zero after a frame.
void DEMOScene2();

// main's scene loop after a successful DEMOInit: scenes in turn until quit;
// after a reload (DEMO_RESTART_SCENE) the same scene again.
void DEMORun();
