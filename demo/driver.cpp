// The intro's driver: start-up, the per-frame step, key dispatch, text
// measuring, the fade to black and shutdown.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#if !defined(__EMSCRIPTEN__)
#include <chrono>
#include <thread>
#endif

#include "common/descriptor_internal.h"
#include "common/pacer.h"
#include "demo/data_check.h"
#include "demo/data_files.h"
#include "demo/demo.h"
#include "demo/watch.h"
#include "sdl/audio.h"
#include "sdl/platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

DemoState demo;
int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;

namespace {

constexpr int kCell = 8;  // glyph pitch in pixels, both ways
constexpr int32_t kStars = 512;

using intro::Descriptor;

// The program's hooks (none: the intros' own) and the pacing of the
// presentations, unlimited until DEMOSetRate.
void (*presentHook)(Display*, const Image*) = nullptr;
void (*pollHook)(Keyboard*) = nullptr;
intro::Pacer pacer;
DemoSound sound = DemoSound::Off;

// How long DEMOFree waits at most for the device to play the end of the fade:
// a few of its callbacks (about 21 ms each).
constexpr int kSilenceWaitMs = 100;
bool fadeCut = false;  // the last fade was ended by a second quit

// Reads up to size bytes into buffer; the count read (short at end of file),
// or -1 on a read error.
int64_t ReadUpTo(int fd, char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, buffer + got, size - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

void ReportUnreadable(const char* name, const char* reason) {
  if (reason == DEMO_OUT_OF_MEMORY) {
    std::fprintf(stderr, "intro: out of memory loading \"%s\"\n", name);
    return;
  }
  std::fprintf(stderr,
               "intro: cannot read \"%s\" (looked for in the working "
               "directory): %s\n",
               name, reason);
}

// One line for a start-up step that failed: what could not be made.
bool Failed(const char* what) {
  std::fprintf(stderr, "intro: out of memory creating the %s\n", what);
  return false;
}

void Present() {
  DEMOPresent(demo.display, demo.frame);
  if (demo.presentations < INT32_MAX) ++demo.presentations;
}

// The glyph sheet: a file that is missing, no regular file or no image it can
// read leaves the font without a sheet (black frames) after one line on
// standard error. False only when memory ran out.
bool LoadFontSheet(Font* font) {
  const char* fontFile = DEMODataFileName(DemoDataKind::Font);
  struct stat st;
  const char* reason = nullptr;
  {
    Descriptor fd(DEMOOpenDataFile(fontFile, &st, &reason));
    if (fd.get() < 0) {
      // The image library's own report, as if it had failed to open it.
      IMGError();
      ReportUnreadable(fontFile, reason);
      return reason != DEMO_OUT_OF_MEMORY;
    }
  }
  errno = 0;
  font->glyphs = IMGLoad(fontFile);
  if (font->glyphs) return true;
  if (errno == ENOMEM) {
    ReportUnreadable(fontFile, DEMO_OUT_OF_MEMORY);
    return false;
  }
  ReportUnreadable(fontFile, "it is no PNM image that can be read");
  return true;
}

// An optional text of kind (the message, the logo) from the data folder into
// *text: none when the file is absent, and also, after one line on standard
// error naming the first problem, when it does not pass its checks (the
// built-in text is used then). False only when memory ran out.
bool LoadOptionalText(DemoDataKind kind, const char* builtIn, char** text) {
  const char* name = DEMODataFileName(kind);
  const DemoDataFile* file = DEMODataFileFind(name);
  if (!file) return true;
  DemoReport report;
  *text = DEMOLoadChecked(*file, name, DemoCheckContext{}, &report);
  if (report.outOfMemory) {
    ReportUnreadable(name, DEMO_OUT_OF_MEMORY);
    return false;
  }
  for (const DemoProblem& problem : report.problems) {
    if (problem.warning) continue;
    std::fprintf(stderr, "intro: %s; the built-in %s is used\n",
                 DEMOProblemLine(problem).c_str(), builtIn);
    break;
  }
  return true;
}

// The soundtrack: the synth of song.txt (one of silence when the song cannot
// be read, after one line naming why) and, for DemoSound::Device, the audio
// device playing it. False only when memory ran out.
bool StartSound() {
  const char* songFile = DEMODataFileName(DemoDataKind::Song);
  char error[256] = "";
  Song* song = SONGLoad(songFile, error, sizeof error);
  const bool songRead = song != nullptr;
  if (!songRead) std::fprintf(stderr, "intro: no sound: %s\n", error);
  demo.synth = SYNTHNew(song);
  SONGFree(&song);
  if (!demo.synth) return Failed("synth");
  if (sound != DemoSound::Device || !songRead) return true;
  const char* reason = nullptr;
  if (!SDLAUDOpen(demo.synth, &reason))
    std::fprintf(stderr, "intro: no sound: %s\n", reason);
  return true;
}

// Closes the audio device; after a whole fade, once the device has played
// down to silence (or kSilenceWaitMs passed), so the music is not cut off.
void StopSound(bool faded) {
  if (!SDLAUDIsOpen()) return;
#if !defined(__EMSCRIPTEN__)
  for (int ms = 0; faded && ms < kSilenceWaitMs && SYNTHGain(demo.synth) > 0;
       ++ms)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
#else
  (void)faded;
#endif
  SDLAUDClose();
}

}  // namespace

const char DEMO_OUT_OF_MEMORY[] = "out of memory";

void DEMOConfigure(const DemoConfig& config) {
  DEMO_SCREEN_WIDTH = config.width;
  DEMO_SCREEN_HEIGHT = config.height;
  SDLDPY_MODE_FLAGS = config.modeFlags;
  presentHook = config.present;
  pollHook = config.poll;
  sound = config.sound;
}

void DEMOPresent(Display* display, const Image* frame) {
  if (presentHook) {
    presentHook(display, frame);
    return;
  }
  DEMOPace();
  DEMOShowFrame(display, frame);
}

void DEMOShowFrame(Display* display, const Image* frame) {
  // Only what the last frame changed, when the render knows it.
  int32_t count = 0;
  const ImageRect* changed = DEMORenderChanges(demo.renderCache, frame, &count);
  SDLDPYShowRects(display, frame, changed, count);
}

void DEMOPoll(Keyboard* keyboard) {
  if (pollHook)
    pollHook(keyboard);
  else
    SDLKBDGetKey(keyboard);
}

void DEMOSetRate(int32_t fps) { pacer.SetRate(fps); }

void DEMOPace() { pacer.Wait(); }

void DEMOStop() { demo.runState = DEMO_QUIT; }

char* DEMOLoadText(const char* name, int32_t limit, const char** reason) {
  const char* ignored;
  if (!reason) reason = &ignored;
  if (!name) {
    *reason = "no file name";
    return nullptr;
  }
  struct stat st;
  Descriptor fd(DEMOOpenDataFile(name, &st, reason));
  if (fd.get() < 0) return nullptr;
  size_t size;
  if (limit >= 0) {
    size = static_cast<size_t>(limit);
  } else if (st.st_size > DEMO_TEXT_MAX_BYTES) {
    *reason = "it is larger than the 64 MiB that text art may hold";
    return nullptr;
  } else {
    size = static_cast<size_t>(st.st_size);
  }
  auto* text = new (std::nothrow) char[size + 1]();
  if (!text) {
    *reason = DEMO_OUT_OF_MEMORY;
    return nullptr;
  }
  // A file that shrank since fstat ends where its bytes end.
  if (ReadUpTo(fd.get(), text, size) < 0) {
    *reason = std::strerror(errno);
    delete[] text;
    return nullptr;
  }
  return text;
}

void DEMOFreeText(char* text) { delete[] text; }

// Every object is checked as it is made: start-up stops at the first one that
// cannot be made, after one line on standard error. Missing or unreadable
// text-art files are all named before DEMOInit gives up.
bool DEMOInit() {
  demo.display = SDLDPYNew();
  if (!demo.display) return Failed("display");
  demo.keyboard = SDLKBDNew();
  if (!demo.keyboard) return Failed("keyboard");
  SDLDPYSetMode(demo.display, DEMO_SCREEN_WIDTH, DEMO_SCREEN_HEIGHT);
  if (!SDLDPYHasScreen(demo.display)) {
    std::fprintf(stderr, "intro: the video mode %dx%d was refused: %s\n",
                 DEMO_SCREEN_WIDTH, DEMO_SCREEN_HEIGHT, SDLDPYReason());
    return false;
  }

  demo.frame = IMGNew();
  if (!demo.frame) return Failed("frame image");
  IMGResize(demo.frame, demo.display->width, demo.display->height);
  if (demo.frame->width != demo.display->width) return Failed("frame image");

  demo.font = FONTNew();
  if (!demo.font) return Failed("font");
  demo.font->cellWidth = kCell;
  demo.font->cellHeight = kCell;
  if (!LoadFontSheet(demo.font)) return false;

  demo.screen = SCRNew();
  if (!demo.screen) return Failed("text screen");
  const int32_t cols = DEMO_SCREEN_WIDTH / demo.font->cellWidth;
  SCRResize(demo.screen, cols, DEMO_SCREEN_HEIGHT / demo.font->cellHeight);
  if (demo.screen->cols != cols) return Failed("text screen");

  bool complete = true;
  const char* reason = nullptr;
  const char* mapFile = DEMODataFileName(DemoDataKind::Map);
  demo.mapText = DEMOLoadText(mapFile, -1, &reason);
  if (!demo.mapText) {
    ReportUnreadable(mapFile, reason);
    if (reason == DEMO_OUT_OF_MEMORY) return false;
    complete = false;
  }
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    const char* name = DEMODataFileName(DemoDataKind::Runner, k);
    demo.frameTexts[k] = DEMOLoadText(name, DEMO_FRAME_TEXT_MAX, &reason);
    if (!demo.frameTexts[k]) {
      ReportUnreadable(name, reason);
      if (reason == DEMO_OUT_OF_MEMORY) return false;
      complete = false;
    }
  }
  if (!complete) return false;
  if (!LoadOptionalText(DemoDataKind::Message, "message", &demo.message) ||
      !LoadOptionalText(DemoDataKind::Logo, "logo", &demo.logo))
    return false;

  demo.stars = STARSNew();
  if (!demo.stars) return Failed("starfield");
  demo.stars->width = demo.screen->cols;
  demo.stars->height = demo.screen->rows;
  demo.stars->originCol = 0;
  demo.stars->originRow = 0;
  STARSSetCount(demo.stars, kStars);
  if (demo.stars->count != kStars) return Failed("starfield");

  demo.scroller = SCROLLNew();
  if (!demo.scroller) return Failed("scroller");
  SCROLLSetText(demo.scroller, DEMOMessage());
  if (std::strcmp(demo.scroller->text, DEMOMessage()) != 0)
    return Failed("scroller");
  demo.scroller->row = demo.screen->rows * 3 / 4;
  return sound == DemoSound::Off || StartSound();
}

void DEMOFrame() {
  if (!demo.renderCache) demo.renderCache = DEMORenderCacheNew();
  DEMORenderFrame(demo.renderCache, demo.frame, demo.screen, demo.font);
  Present();
  if (!demo.keyboard) {
    DEMOPoll(nullptr);  // still drain the queue
    return;
  }
  DEMOPoll(demo.keyboard);
  DEMOKey(static_cast<int8_t>(demo.keyboard->keys[0]));
  demo.keyboard->keys[0] = 0;
  DEMOWatchCheck();
}

void DEMOKey(int8_t key) {
  switch (key) {
    case 27:
    case 'q':
    case 'Q':
      demo.runState = DEMO_QUIT;
      break;
    case ' ':
      demo.runState = DEMO_NEXT_SCENE;
      break;
    default:
      break;
  }
}

// Both measures count in 64 bits and stop at INT32_MAX, so no text, however
// long, makes them overflow.
int32_t DEMOTextWidth(const char* text) {
  if (!text) return 0;
  int64_t line = 0, widest = 0;
  for (; *text; ++text) {
    if (*text == '\n') {
      if (line > widest) widest = line;
      line = 0;
    } else {
      ++line;
    }
  }
  return widest < INT32_MAX ? static_cast<int32_t>(widest) : INT32_MAX;
}

int32_t DEMOTextHeight(const char* text) {
  if (!text) return 0;
  int64_t lines = 1;
  for (; *text; ++text) lines += *text == '\n';
  return lines < INT32_MAX ? static_cast<int32_t>(lines) : INT32_MAX;
}

void DEMOFadeOut() {
  // However the intro is paced, the fade lasts at most about a second: its
  // presentations go at no fewer than 256 a second. Its frames stay as they
  // are; an unpaced run stays unpaced.
  const int32_t rate = pacer.Rate();
  fadeCut = false;
  if (rate > 0 && rate < DEMO_FADE_RATE) pacer.SetRate(DEMO_FADE_RATE);
  for (int i = 0; i < DEMO_FADE_STEPS; ++i) {
    DEMODarken(demo.frame, 2);
    // The sound ramps to this step's gain over the samples of this
    // presentation, in the device's callback or the program's own render.
    SYNTHSetGain(demo.synth, DEMOFadeGain(i));
    Present();
    // The keyboard is not polled here, but a second quit request (the close
    // button, Ctrl-C, SIGTERM) ends the fade at once, and the sound with it.
    if (SDLKBDQuitPending()) {
      SYNTHSetGain(demo.synth, 0);
      fadeCut = true;
      break;
    }
  }
  if (pacer.Rate() != rate) pacer.SetRate(rate);
}

void DEMODarken(Image* image, int32_t amount) {
  if (!image) return;
  DEMORenderInvalidate(demo.renderCache);  // the render's picture is gone
  // Each channel is clamped on its own, so the visiting order does not matter.
  const uint32_t a = static_cast<uint32_t>(amount) & 0xFFu;
  uint32_t* p = image->pixels;
  const size_t n = static_cast<size_t>(image->width) * image->height;
  size_t i = 0;
#if defined(__SSE2__)
  // Four pixels at a time: a saturating byte subtract of a from the three
  // colour bytes of each, and the top byte cleared: the scalar loop's result.
  const __m128i sub = _mm_set1_epi32(static_cast<int>(a * 0x010101u));
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  for (; i + 4 <= n; i += 4) {
    __m128i* q = reinterpret_cast<__m128i*>(p + i);
    _mm_storeu_si128(
        q, _mm_and_si128(_mm_subs_epu8(_mm_loadu_si128(q), sub), colour));
  }
#endif
  for (; i < n; ++i) {
    uint32_t v = p[i];
    uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    r = r > a ? r - a : 0;
    g = g > a ? g - a : 0;
    b = b > a ? b - a : 0;
    p[i] = r << 16 | g << 8 | b;
  }
}

int32_t DEMOFps() {
  ++demo.frameCounter;
  uint32_t seconds = SDLPlatformTicks() / 1000;
  return static_cast<int32_t>(demo.frameCounter / (seconds + 1));
}

void DEMOFree() {
  bool faded = false;
  if (demo.frame && demo.display && demo.presentations > 0) {
    DEMOFadeOut();
    faded = !fadeCut;
  }
  StopSound(faded);
  SYNTHFree(&demo.synth);
  if (demo.frame) IMGFree(&demo.frame);
  if (demo.font) FONTFree(&demo.font);
  if (demo.keyboard) SDLKBDFree(&demo.keyboard);
  if (demo.display) SDLDPYFree(&demo.display);
  DEMORenderCacheFree(&demo.renderCache);
}

void DEMOReset() {
  SDLAUDClose();
  SYNTHFree(&demo.synth);
  if (demo.frame) IMGFree(&demo.frame);
  if (demo.font) FONTFree(&demo.font);
  if (demo.keyboard) SDLKBDFree(&demo.keyboard);
  if (demo.display) SDLDPYFree(&demo.display);
  SCROLLFree(demo.scroller);  // bound to the screen: released first
  STARSFree(&demo.stars);
  SCRFree(&demo.screen);
  DEMOFreeText(demo.mapText);
  for (char* text : demo.frameTexts) DEMOFreeText(text);
  DEMOFreeText(demo.message);
  DEMOFreeText(demo.logo);
  DEMOWatchStop();
  DEMORenderCacheFree(&demo.renderCache);
  demo = DemoState{};
  pacer = intro::Pacer{};
  fadeCut = false;
}

const char* DEMOMessage() {
  return demo.message ? demo.message : DEMO_SCROLL_MESSAGE;
}

const char* DEMOLogo() { return demo.logo ? demo.logo : DEMO_LOGO; }

void DEMORun() {
  bool second = false;  // which scene plays
  for (;;) {
    if (second)
      DEMOScene2();
    else
      DEMOScene1();
    if (demo.runState & DEMO_QUIT) break;
    if (demo.runState == DEMO_RESTART_SCENE) {
      // A data file changed: the same scene again, its scroller from the start.
      if (demo.scroller) demo.scroller->offset = 0;
    } else {
      second = !second;
    }
    demo.runState = DEMO_RUNNING;
  }
}
