// The display on SDL's dummy video driver: singleton rules, mode setting, and
// what each show operation leaves in the screen surface's memory.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sdl/display.h"
#include "tests/test_support.h"

namespace {

constexpr uint32_t kBackground = 0x00123456;

class SdlDisplay : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0)
        << SDL_GetError();
  }
  void TearDown() override {
    if (Display* display = SDLDPYCurrent()) SDLDPYFree(&display);
    SDL_Quit();
  }

  // A display of width x height whose screen has the given depth if SDL
  // allows: the depth is set first, and classic SDL keeps it for
  // SDLDPYSetMode's depth 0 (sdl12-compat gives its desktop depth, 32).
  Display* OpenDisplay(int32_t width, int32_t height, int depth = 32) {
    Display* display = SDLDPYNew();
    if (!display) return nullptr;
    SDL_SetVideoMode(width, height, depth, 0);
    SDLDPYSetMode(display, width, height);
    return display;
  }
};

SDL_Surface* Screen() { return SDL_GetVideoSurface(); }

bool HasDepth(int depth) {
  return Screen() && Screen()->format->BitsPerPixel == depth;
}

// The screen as one value per pixel, in its own format (8, 16 or 32 bits).
std::vector<uint32_t> ScreenPixels() {
  SDL_Surface* s = Screen();
  std::vector<uint32_t> out;
  SDL_LockSurface(s);
  for (int y = 0; y < s->h; ++y) {
    const auto* row = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
    for (int x = 0; x < s->w; ++x) {
      switch (s->format->BytesPerPixel) {
        case 1:
          out.push_back(row[x]);
          break;
        case 2:
          out.push_back(reinterpret_cast<const uint16_t*>(row)[x]);
          break;
        default:
          out.push_back(reinterpret_cast<const uint32_t*>(row)[x]);
          break;
      }
    }
  }
  SDL_UnlockSurface(s);
  return out;
}

void FillScreen(uint32_t rgb) {
  SDL_Surface* s = Screen();
  SDL_FillRect(s, nullptr,
               SDL_MapRGB(s->format, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
}

// Distinct values in every channel, top byte zero as in every Image.
Image* Pattern(int32_t width, int32_t height) {
  Image* image = test::MakeImage(width, height, {});
  for (int32_t i = 0; i < width * height; ++i)
    image->pixels[i] = (static_cast<uint32_t>(i) * 2654435761u) & 0xFFFFFF;
  return image;
}

// The first pixel where the screen differs from expected, for the message.
std::string FirstDifference(const std::vector<uint32_t>& actual,
                            const std::vector<uint32_t>& expected, int width) {
  for (size_t i = 0; i < actual.size() && i < expected.size(); ++i)
    if (actual[i] != expected[i])
      return "first difference at (" + std::to_string(i % width) + ", " +
             std::to_string(i / width) + "): " + std::to_string(actual[i]) +
             " instead of " + std::to_string(expected[i]);
  return "sizes differ";
}

// What the screen must hold after showing image over a background: the
// image's top-left part where it overlaps the screen, the background elsewhere.
std::vector<uint32_t> Expected(const Image* image, uint32_t (*map)(uint32_t)) {
  SDL_Surface* s = Screen();
  std::vector<uint32_t> out;
  for (int y = 0; y < s->h; ++y)
    for (int x = 0; x < s->w; ++x)
      out.push_back(map(x < image->width && y < image->height
                            ? image->pixels[size_t(y) * image->width + x]
                            : kBackground));
  return out;
}

uint32_t As32(uint32_t rgb) { return rgb; }
uint32_t As565(uint32_t rgb) {
  return ((rgb >> 19) & 0x1F) << 11 | ((rgb >> 10) & 0x3F) << 5 |
         ((rgb >> 3) & 0x1F);
}

// ---- Singleton and canonical operations -------------------------------------

TEST_F(SdlDisplay, NewSetsFirstModeAndSecondNewReturnsItUnchanged) {
  EXPECT_EQ(SDLDPYCurrent(), nullptr);
  Display* display = SDLDPYNew();
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(SDLDPYCurrent(), display);
  EXPECT_EQ(display->width, 256);
  EXPECT_EQ(display->height, 256);
  ASSERT_NE(Screen(), nullptr);
  EXPECT_EQ(Screen()->w, 256);
  EXPECT_EQ(display->bpp, Screen()->format->BitsPerPixel);

  SDLDPYSetMode(display, 40, 30);
  SDL_Surface* before = Screen();
  EXPECT_EQ(SDLDPYNew(), display);
  EXPECT_EQ(Screen(), before);
  EXPECT_EQ(Screen()->w, 40);
  EXPECT_EQ(display->width, 40);
}

TEST_F(SdlDisplay, CanonicalOperationsKnowOnlyTheDisplay) {
  Display other{};
  EXPECT_EQ(SDLDPYFromASCII(""), nullptr);
  EXPECT_EQ(SDLDPYEqual(nullptr, nullptr), false);
  Display* display = SDLDPYNew();
  ASSERT_NE(display, nullptr);

  EXPECT_TRUE(SDLDPYEqual(display, display));
  EXPECT_FALSE(SDLDPYEqual(display, nullptr));
  EXPECT_FALSE(SDLDPYEqual(nullptr, display));
  EXPECT_FALSE(SDLDPYEqual(display, &other));
  EXPECT_FALSE(SDLDPYEqual(&other, &other));
  EXPECT_EQ(SDLDPYCopy(display), display);
  EXPECT_EQ(SDLDPYCopy(&other), nullptr);
  EXPECT_EQ(SDLDPYCopy(nullptr), nullptr);
  ASSERT_NE(SDLDPYToASCII(display), nullptr);
  EXPECT_STREQ(SDLDPYToASCII(display), "");
  EXPECT_EQ(SDLDPYToASCII(&other), nullptr);
  EXPECT_EQ(SDLDPYFromASCII(nullptr), nullptr);
  EXPECT_EQ(SDLDPYFromASCII("SDLDPY{}"), nullptr);
}

TEST_F(SdlDisplay, ErrorsAreSilentInTheBuild) {
  Display other{};
  std::string out = test::StdoutOf([&] {
    Display* none = nullptr;
    SDLDPYFree(&none);
    SDLDPYCopy(&other);
    SDLDPYShow(nullptr, nullptr);
    SDLDPYError();
  });
  EXPECT_EQ(out, "");
}

TEST_F(SdlDisplay, FreeIgnoresHandlesThatAreNotTheDisplay) {
  Display* display = SDLDPYNew();
  ASSERT_NE(display, nullptr);
  Display other{};
  Display* stranger = &other;
  Display* none = nullptr;
  SDLDPYFree(nullptr);
  SDLDPYFree(&none);
  SDLDPYFree(&stranger);
  EXPECT_EQ(stranger, &other);
  EXPECT_EQ(SDLDPYCurrent(), display);
  EXPECT_EQ(display->width, 256);
}

TEST_F(SdlDisplay, NewAfterFreeBuildsAFreshDisplay) {
  Display* display = SDLDPYNew();
  ASSERT_NE(display, nullptr);
  SDLDPYSetMode(display, 32, 16);
  Display* copy = display;
  SDLDPYFree(&display);
  EXPECT_EQ(display, nullptr);
  EXPECT_EQ(SDLDPYCurrent(), nullptr);
  SDLDPYFree(&copy);  // stale handle: nothing happens

  Display* again = SDLDPYNew();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(SDLDPYCurrent(), again);
  EXPECT_EQ(again->width, 256);
  EXPECT_EQ(again->height, 256);
  EXPECT_EQ(Screen()->w, 256);
}

// ---- Mode setting -----------------------------------------------------------

TEST_F(SdlDisplay, SetModeStoresRequestedSizeDepthAndCaption) {
  Display* display = OpenDisplay(320, 200);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(display->width, 320);
  EXPECT_EQ(display->height, 200);
  EXPECT_EQ(display->bpp, 32);
  EXPECT_EQ(Screen()->w, 320);
  EXPECT_EQ(Screen()->h, 200);
  EXPECT_EQ(Screen()->flags & SDL_FULLSCREEN,
            SDLDPY_MODE_FLAGS & SDL_FULLSCREEN);
  char* title = nullptr;
  char* icon = nullptr;
  SDL_WM_GetCaption(&title, &icon);
  ASSERT_NE(title, nullptr);
  ASSERT_NE(icon, nullptr);
  EXPECT_STREQ(title, "TANDRIX");
  EXPECT_STREQ(icon, "TANDRIX");
}

TEST_F(SdlDisplay, SetModeRejectsNegativeSizesAndNoDisplay) {
  SDLDPYSetMode(nullptr, 16, 16);  // no display at all
  Display* display = OpenDisplay(48, 24);
  ASSERT_NE(display, nullptr);
  SDL_Surface* before = Screen();
  const struct {
    Display* display;
    int32_t w, h;
  } cases[] = {{display, -1, 10},
               {display, 10, -1},
               {display, -5, -5},
               {nullptr, 10, 10}};
  for (const auto& c : cases) {
    SDLDPYSetMode(c.display, c.w, c.h);
    EXPECT_EQ(display->width, 48) << c.w << "x" << c.h;
    EXPECT_EQ(display->height, 24) << c.w << "x" << c.h;
    EXPECT_EQ(Screen(), before);
    EXPECT_EQ(Screen()->w, 48);
  }
}

// SDL cannot set a mode (here: no usable video driver). The display is left
// without a screen surface, keeps its size, and the show operations do
// nothing instead of touching a missing surface; a later good mode recovers.
TEST_F(SdlDisplay, RefusedModeLeavesNoScreenAndShowsDoNothing) {
  SDL_Quit();
  setenv("SDL_VIDEODRIVER", "nosuchdriver", 1);
  Display* display = SDLDPYNew();
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(SDLDPYCurrent(), display);
  EXPECT_EQ(display->width, 0);
  EXPECT_EQ(display->height, 0);
  display->width = 16;  // as if an earlier mode had been 16 x 8
  display->height = 8;
  SDLDPYSetMode(display, 40, 30);
  EXPECT_EQ(display->width, 16);
  EXPECT_EQ(display->height, 8);
  test::ImagePtr image(Pattern(16, 8));
  SDLDPYShow(display, image.get());
  SDLDPYShowCopy(display, image.get());
  SDLDPYShowDirect(display, image.get());

  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SDL_SetVideoMode(16, 8, 32, 0);
  SDLDPYSetMode(display, 16, 8);
  ASSERT_NE(Screen(), nullptr);
  EXPECT_EQ(display->bpp, 32);
  SDLDPYShowCopy(display, image.get());
  EXPECT_EQ(ScreenPixels(), test::Pixels(image.get()));
}

// ---- SDLDPYShow -------------------------------------------------------------

struct ShowCase {
  const char* name;
  int32_t width, height;  // of the image; the display is 16 x 12
  int depth;              // of the screen
};

void PrintTo(const ShowCase& c, std::ostream* os) { *os << c.name; }

class SdlDisplayShow : public SdlDisplay,
                       public testing::WithParamInterface<ShowCase> {};

TEST_P(SdlDisplayShow, ShowsTheTopLeftPartAndKeepsTheRest) {
  const ShowCase& c = GetParam();
  Display* display = OpenDisplay(16, 12, c.depth);
  ASSERT_NE(display, nullptr);
  if (!HasDepth(c.depth))
    GTEST_SKIP() << "no " << c.depth << "-bit screen here";
  FillScreen(kBackground);
  test::ImagePtr image(Pattern(c.width, c.height));
  const std::vector<uint32_t> before = test::Pixels(image.get());
  const uint32_t* pixels = image->pixels;

  SDLDPYShow(display, image.get());

  std::vector<uint32_t> actual = ScreenPixels();
  std::vector<uint32_t> expected =
      Expected(image.get(), c.depth == 32 ? As32 : As565);
  if (c.depth == 32)
    for (uint32_t& v : actual) v &= 0xFFFFFF;
  EXPECT_EQ(actual, expected) << FirstDifference(actual, expected, 16);
  EXPECT_EQ(image->pixels, pixels);
  EXPECT_EQ(test::Pixels(image.get()), before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SdlDisplayShow,
                         testing::Values(ShowCase{"Same", 16, 12, 32},
                                         ShowCase{"Smaller", 7, 5, 32},
                                         ShowCase{"Taller", 16, 20, 32},
                                         ShowCase{"Wider", 30, 12, 32},
                                         ShowCase{"WiderAndShorter", 25, 4, 32},
                                         ShowCase{"WiderAndTaller", 41, 33, 32},
                                         ShowCase{"OneColumn", 1, 12, 32},
                                         ShowCase{"Empty", 0, 0, 32},
                                         ShowCase{"Same16", 16, 12, 16},
                                         ShowCase{"Smaller16", 7, 5, 16},
                                         ShowCase{"Wider16", 30, 14, 16}),
                         [](const testing::TestParamInfo<ShowCase>& info) {
                           return info.param.name;
                         });

// SDLDPYShow's picture against the plain pipeline (a surface with an alpha
// mask over the image, SDL_DisplayFormat, blit) run by hand on the same
// screen, whatever the depth, with and without a clip rectangle on the screen.
TEST_F(SdlDisplay, ShowMatchesTheConversionPipelineAtEveryDepth) {
  SDL_Rect clips[] = {{0, 0, 20, 10}, {3, 2, 9, 5}, {15, 0, 5, 10}};
  for (int depth : {32, 16, 8}) {
    for (SDL_Rect clip : clips) {
      Display* display = OpenDisplay(20, 10, depth);
      ASSERT_NE(display, nullptr);
      if (!HasDepth(depth)) {
        SDLDPYFree(&display);
        continue;
      }
      SDL_SetClipRect(Screen(), nullptr);
      test::ImagePtr image(Pattern(24, 9));

      FillScreen(kBackground);
      SDL_Surface* lent = SDL_CreateRGBSurfaceFrom(
          image->pixels, 20, 9, 32, 24 * 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
      ASSERT_NE(lent, nullptr);
      SDL_Surface* converted = SDL_DisplayFormat(lent);
      ASSERT_NE(converted, nullptr);
      SDL_SetClipRect(Screen(), &clip);
      SDL_UpperBlit(converted, nullptr, Screen(), nullptr);
      SDL_FreeSurface(converted);
      SDL_FreeSurface(lent);
      const std::vector<uint32_t> expected = ScreenPixels();

      SDL_SetClipRect(Screen(), nullptr);
      FillScreen(kBackground);
      SDL_SetClipRect(Screen(), &clip);
      SDLDPYShow(display, image.get());
      const std::vector<uint32_t> actual = ScreenPixels();
      EXPECT_EQ(actual, expected)
          << depth << " bits, clip at " << clip.x << ", " << clip.y << ": "
          << FirstDifference(actual, expected, 20);
      SDLDPYFree(&display);
    }
  }
}

// Rows of more than 16383 pixels do not fit SDL 1.2's 16-bit pitch.
TEST_F(SdlDisplay, ShowsImageRowsTooLongForOnePitch) {
  for (int depth : {32, 16}) {
    Display* display = OpenDisplay(24, 3, depth);
    ASSERT_NE(display, nullptr);
    if (!HasDepth(depth)) {
      SDLDPYFree(&display);
      continue;
    }
    FillScreen(kBackground);
    test::ImagePtr image(Pattern(16400, 4));
    SDLDPYShow(display, image.get());
    std::vector<uint32_t> actual = ScreenPixels();
    if (depth == 32)
      for (uint32_t& v : actual) v &= 0xFFFFFF;
    const std::vector<uint32_t> expected =
        Expected(image.get(), depth == 32 ? As32 : As565);
    EXPECT_EQ(actual, expected)
        << depth << " bits, " << FirstDifference(actual, expected, 24);
    SDLDPYFree(&display);
  }
}

TEST_F(SdlDisplay, ShowGuardsLeaveTheScreenAlone) {
  Display* display = OpenDisplay(8, 8);
  ASSERT_NE(display, nullptr);
  FillScreen(kBackground);
  const std::vector<uint32_t> before = ScreenPixels();
  test::ImagePtr image(Pattern(8, 8));
  Image noPixels{8, 8, nullptr};
  Display other{8, 8, 32};
  SDLDPYShow(nullptr, image.get());
  SDLDPYShow(&other, image.get());
  SDLDPYShow(display, nullptr);
  SDLDPYShow(display, &noPixels);
  EXPECT_EQ(ScreenPixels(), before);
}

// ---- SDLDPYShowCopy and SDLDPYShowDirect ------------------------------------

TEST_F(SdlDisplay, ShowCopyFillsTheWholeScreen) {
  Display* display = OpenDisplay(16, 12);
  ASSERT_NE(display, nullptr);
  FillScreen(kBackground);
  test::ImagePtr image(Pattern(16, 12));
  const std::vector<uint32_t> before = test::Pixels(image.get());
  SDLDPYShowCopy(display, image.get());
  EXPECT_EQ(ScreenPixels(), before);
  EXPECT_EQ(test::Pixels(image.get()), before);
}

// The in-place operations need an image of exactly the display's size on a
// 32-bit screen whose rows are width * 4 bytes; anything else changes nothing.
TEST_F(SdlDisplay, InPlaceShowsRefuseOtherSizesAndDepths) {
  const struct {
    int32_t w, h;
    int depth;
  } cases[] = {{15, 12, 32}, {16, 11, 32}, {17, 12, 32}, {16, 13, 32},
               {8, 4, 32},   {16, 12, 16}, {16, 12, 8}};
  for (const auto& c : cases) {
    Display* display = OpenDisplay(16, 12, c.depth);
    ASSERT_NE(display, nullptr);
    if (!HasDepth(c.depth)) {
      SDLDPYFree(&display);
      continue;
    }
    FillScreen(kBackground);
    const std::vector<uint32_t> before = ScreenPixels();
    test::ImagePtr image(Pattern(c.w, c.h));
    SDLDPYShowCopy(display, image.get());
    SDLDPYShowDirect(display, image.get());
    EXPECT_EQ(ScreenPixels(), before) << c.w << "x" << c.h << "@" << c.depth;
    SDLDPYFree(&display);
  }
}

// The dummy driver presents nothing, so what ShowDirect can be held to here is
// that the screen gets its own memory back, unchanged, and the image too.
TEST_F(SdlDisplay, ShowDirectGivesTheScreenItsMemoryBack) {
  Display* display = OpenDisplay(16, 12);
  ASSERT_NE(display, nullptr);
  FillScreen(kBackground);
  void* own = Screen()->pixels;
  const std::vector<uint32_t> screenBefore = ScreenPixels();
  test::ImagePtr image(Pattern(16, 12));
  const std::vector<uint32_t> imageBefore = test::Pixels(image.get());
  SDLDPYShowDirect(display, image.get());
  EXPECT_EQ(Screen()->pixels, own);
  EXPECT_EQ(ScreenPixels(), screenBefore);
  EXPECT_EQ(test::Pixels(image.get()), imageBefore);
  // The lock was released: a copy still reaches the screen.
  SDLDPYShowCopy(display, image.get());
  EXPECT_EQ(ScreenPixels(), imageBefore);
}

// ---- SDLDPYShowRects -------------------------------------------------------

constexpr uint32_t kMark = 0x00ABCDEF;  // written into the screen behind the
                                        // display's back
constexpr int kMarkAt = 12 + 24 * 14;  // pixel (12, 14): in no part below

// The screen's pixel at index i set to kMark, as a part that is not presented
// would keep it.
void MarkScreen(int i) {
  SDL_LockSurface(Screen());
  static_cast<uint32_t*>(Screen()->pixels)[i] = kMark;
  SDL_UnlockSurface(Screen());
}

// The parts the tests change: a pixel, a rectangle, one that leaves the image
// to the right and below, and an empty one.
const ImageRect kParts[] = {{0, 0, 1, 1}, {5, 3, 4, 6}, {20, 12, 9, 9},
                            {2, 2, 0, 5}};

TEST_F(SdlDisplay, ShowRectsCopiesOnlyTheNamedParts) {
  Display* display = OpenDisplay(24, 16);
  ASSERT_NE(display, nullptr);
  if (!HasDepth(32)) GTEST_SKIP() << "no 32-bit screen here";
  test::ImagePtr image(Pattern(24, 16));
  SDLDPYShow(display, image.get());
  // Change the pixels inside the parts, and mark the screen outside them.
  for (const ImageRect& r : kParts)
    for (int32_t y = r.y; y < r.y + r.h && y < 16; ++y)
      for (int32_t x = r.x; x < r.x + r.w && x < 24; ++x)
        image->pixels[y * 24 + x] ^= 0x00FFFFFF;
  // (1, 13) is where the part that leaves the image on the right would go
  // on, uncut, in the next row.
  MarkScreen(kMarkAt - 1);
  MarkScreen(1 + 24 * 13);
  std::vector<uint32_t> want = test::Pixels(image.get());
  want[kMarkAt - 1] = want[1 + 24 * 13] = kMark;
  SDLDPYShowRects(display, image.get(), kParts, 4);
  EXPECT_EQ(ScreenPixels(), want);
  // No part at all presents nothing new.
  MarkScreen(0);
  want[0] = kMark;
  SDLDPYShowRects(display, image.get(), kParts, 0);
  EXPECT_EQ(ScreenPixels(), want);
}

// Whenever the screen may not hold the image as last shown, or the parts
// cannot be presented one by one, the whole image is presented.
struct WholeCase {
  const char* name;
  // Runs after the image was shown; may change the image or the display, and
  // the rectangles and count the call gets.
  void (*after)(Display* display, test::ImagePtr& image,
                const ImageRect** rects, int32_t* count);
};

class SdlDisplayShowRectsWhole : public SdlDisplay,
                                 public testing::WithParamInterface<WholeCase> {
};

TEST_P(SdlDisplayShowRectsWhole, PresentsTheWholeImage) {
  Display* display = OpenDisplay(24, 16);
  ASSERT_NE(display, nullptr);
  if (!HasDepth(32)) GTEST_SKIP() << "no 32-bit screen here";
  test::ImagePtr image(Pattern(24, 16));
  SDLDPYShow(display, image.get());
  const ImageRect* rects = kParts;
  int32_t count = 4;
  GetParam().after(display, image, &rects, &count);
  for (int32_t i = 0; i < 24 * 16; ++i) image->pixels[i] ^= 0x00F0F0F0;
  MarkScreen(kMarkAt);
  SDLDPYShowRects(display, image.get(), rects, count);
  EXPECT_EQ(ScreenPixels(), test::Pixels(image.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SdlDisplayShowRectsWhole,
    testing::Values(
        WholeCase{"WithoutRectangles",
                  [](Display*, test::ImagePtr&, const ImageRect** rects,
                     int32_t*) { *rects = nullptr; }},
        WholeCase{"WithANegativeCount",
                  [](Display*, test::ImagePtr&, const ImageRect**,
                     int32_t* count) { *count = -1; }},
        WholeCase{"WithMoreRectanglesThanTheLimit",
                  [](Display*, test::ImagePtr&, const ImageRect** rects,
                     int32_t* count) {
                    static std::vector<ImageRect> many(SDLDPY_MAX_RECTS + 1,
                                                       ImageRect{0, 0, 1, 1});
                    *rects = many.data();
                    *count = SDLDPY_MAX_RECTS + 1;
                  }},
        WholeCase{"AfterAnotherImageWasShown",
                  [](Display* display, test::ImagePtr&, const ImageRect**,
                     int32_t*) {
                    test::ImagePtr other(Pattern(24, 16));
                    SDLDPYShow(display, other.get());
                  }},
        WholeCase{"AfterTheModeWasSetAgain",
                  [](Display* display, test::ImagePtr&, const ImageRect**,
                     int32_t*) { SDLDPYSetMode(display, 24, 16); }},
        WholeCase{"AfterShowDirectLeftTheScreensMemory",
                  [](Display* display, test::ImagePtr& image,
                     const ImageRect**, int32_t*) {
                    SDLDPYShowDirect(display, image.get());
                  }},
        WholeCase{"AfterTheImageGotANewPixelArray",
                  [](Display*, test::ImagePtr& image, const ImageRect**,
                     int32_t*) {
                    // The old array is freed only once the new one is
                    // there, so the two cannot share an address.
                    Image* fresh = IMGCopy(image.get());
                    std::swap(image->pixels, fresh->pixels);
                    IMGFree(&fresh);
                  }}),
    [](const testing::TestParamInfo<WholeCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
