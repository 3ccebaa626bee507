// The intro's driver: start-up, the per-frame step, key dispatch, text
// measuring, the fade to black and shutdown.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "demo/demo.h"
#include "sdl/platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

DemoState demo;

namespace {

constexpr int kCell = 8;  // glyph pitch in pixels, both ways
constexpr char kFontFile[] = "font8x8.ppm";
constexpr char kMapFile[] = "WorldMap.txt";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

void ReportMissing(const char* name) {
  std::fprintf(stderr,
               "intro: cannot read \"%s\"; it is looked for in the working "
               "directory\n",
               name);
}

// "manRun0" then the digit k for frames 0-9 and the letters a-o for 10-24.
void FrameFileName(int k, char name[13]) {
  std::snprintf(name, 13, "manRun0%c.txt", k < 10 ? '0' + k : 'a' + k - 10);
}

void Present() {
  DEMOPresent(demo.display, demo.frame);
  ++demo.presentations;
}

}  // namespace

char* DEMOLoadText(const char* name, int32_t limit) {
  if (!name) return nullptr;
  FilePtr file(std::fopen(name, "rb"));
  if (!file) return nullptr;
  long size = limit;
  if (limit < 0) {
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
    size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
  }
  auto* text = new (std::nothrow) char[static_cast<size_t>(size) + 1]();
  if (!text) return nullptr;
  size_t got = std::fread(text, 1, static_cast<size_t>(size), file.get());
  if (std::ferror(file.get()) || (limit < 0 && got != size_t(size))) {
    delete[] text;
    return nullptr;
  }
  return text;
}

void DEMOFreeText(char* text) { delete[] text; }

bool DEMOInit() {
  demo.display = SDLDPYNew();
  demo.keyboard = SDLKBDNew();
  SDLDPYSetMode(demo.display, DEMO_SCREEN_WIDTH, DEMO_SCREEN_HEIGHT);

  demo.frame = IMGNew();
  if (demo.display)
    IMGResize(demo.frame, demo.display->width, demo.display->height);

  demo.font = FONTNew();
  if (demo.font) {
    demo.font->cellWidth = kCell;
    demo.font->cellHeight = kCell;
    demo.font->glyphs = IMGLoad(kFontFile);
    // Without its sheet the font draws nothing: the intro runs on black.
    if (!demo.font->glyphs) ReportMissing(kFontFile);
  }

  demo.screen = SCRNew();
  if (demo.screen && demo.font)
    SCRResize(demo.screen, DEMO_SCREEN_WIDTH / demo.font->cellWidth,
              DEMO_SCREEN_HEIGHT / demo.font->cellHeight);

  bool complete = true;
  demo.mapText = DEMOLoadText(kMapFile, -1);
  if (!demo.mapText) {
    ReportMissing(kMapFile);
    complete = false;
  }
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    char name[13];
    FrameFileName(k, name);
    demo.frameTexts[k] = DEMOLoadText(name, DEMO_FRAME_TEXT_MAX);
    if (!demo.frameTexts[k]) {
      ReportMissing(name);
      complete = false;
    }
  }

  demo.stars = STARSNew();
  if (demo.stars && demo.screen) {
    demo.stars->width = demo.screen->cols;
    demo.stars->height = demo.screen->rows;
    demo.stars->originCol = 0;
    demo.stars->originRow = 0;
    STARSSetCount(demo.stars, 512);
  }

  demo.scroller = SCROLLNew();
  if (demo.scroller && demo.screen) {
    SCROLLSetText(demo.scroller, DEMO_SCROLL_MESSAGE);
    demo.scroller->row = demo.screen->rows * 3 / 4;
  }

  return complete && demo.display && demo.keyboard && demo.frame && demo.font &&
         demo.screen && demo.stars && demo.scroller;
}

void DEMOFrame() {
  IMGClear(demo.frame);
  DEMORender(demo.frame, demo.screen, demo.font);
  Present();
  if (!demo.keyboard) {
    DEMOPoll(nullptr);  // still drain the queue
    return;
  }
  DEMOPoll(demo.keyboard);
  DEMOKey(static_cast<int8_t>(demo.keyboard->keys[0]));
  demo.keyboard->keys[0] = 0;
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

int32_t DEMOTextWidth(const char* text) {
  if (!text) return 0;
  int32_t line = 0, widest = 0;
  for (; *text; ++text) {
    if (*text == '\n') {
      if (line > widest) widest = line;
      line = 0;
    } else {
      ++line;
    }
  }
  return widest;
}

int32_t DEMOTextHeight(const char* text) {
  if (!text) return 0;
  int32_t lines = 1;
  for (; *text; ++text) lines += *text == '\n';
  return lines;
}

void DEMOFadeOut() {
  for (int i = 0; i < 256; ++i) {
    DEMODarken(demo.frame, 2);
    Present();
    // The keyboard is not polled here, but a second quit request (the close
    // button, Ctrl-C, SIGTERM) ends the fade at once.
    if (SDLKBDQuitPending()) break;
  }
}

void DEMODarken(Image* image, int32_t amount) {
  if (!image) return;
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
  return static_cast<int32_t>(static_cast<uint32_t>(demo.frameCounter) /
                              (seconds + 1));
}

void DEMOFree() {
  if (demo.frame && demo.display && demo.presentations > 0) DEMOFadeOut();
  if (demo.frame) IMGFree(&demo.frame);
  if (demo.font) FONTFree(&demo.font);
  if (demo.keyboard) SDLKBDFree(&demo.keyboard);
  if (demo.display) SDLDPYFree(&demo.display);
}

void DEMORun() {
  for (;;) {
    DEMOScene1();
    if (demo.runState & DEMO_QUIT) break;
    demo.runState = DEMO_RUNNING;
    DEMOScene2();
    if (demo.runState & DEMO_QUIT) break;
    demo.runState = DEMO_RUNNING;
  }
}
