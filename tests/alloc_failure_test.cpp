// Allocation failure, injected: this program replaces malloc, calloc, realloc,
// aligned_alloc, free and the global operator new and delete with versions that can make the
// k-th allocation fail. For every reader, transform and constructor, the call
// is repeated with k = 0, 1, ... until a run in which no allocation failed.
// Every run must end in success (the same result as without failures) or in
// the operation's failure result (none, no stars, the old text) with the
// module's reports, must leave none of the allocations it made live once its
// result is released, and must not throw.
//
// Only allocations made while the hook is armed, around the one call under
// test, are counted and failed: the test's own, Google Test's and SDL's
// start-up allocations are untouched. The sanitizer build does not build this
// program: AddressSanitizer owns malloc there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "demo/demo.h"
#include "font/font.h"
#include "img/img.h"
#include "sdl/display.h"
#include "sdl/keyboard.h"
#include "sdl/platform.h"
#include "tests/test_support.h"
#include "textscreen/scroll.h"
#include "textscreen/stars.h"
#include "textscreen/textscreen.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace hook {
namespace {

// Which allocations the hook counts: all of them, or only those through
// operator new (the C++ code's own, none of SDL's).
enum class Scope { kAll, kCxx };

bool armed = false;
Scope scope = Scope::kAll;
long counted = 0;  // counted allocations since Arm
long failAt = -1;  // the index of the one to fail
bool injected = false;
size_t largest = 0;  // the largest counted request since Arm

// Counted allocations not yet freed. Fixed storage: the hook itself must not
// allocate.
constexpr int kMaxLive = 1 << 14;
void* live[kMaxLive];
int liveCount = 0;
bool liveOverflow = false;

bool Counts(bool cxx) { return armed && (cxx || scope == Scope::kAll); }

// True when this counted allocation is the one to fail.
bool FailsNow() {
  if (counted++ != failAt) return false;
  injected = true;
  return true;
}

void Track(void* p) {
  if (!p) return;
  if (liveCount == kMaxLive) {
    liveOverflow = true;
    return;
  }
  live[liveCount++] = p;
}

bool Untrack(void* p) {
  for (int i = liveCount; i-- > 0;) {
    if (live[i] == p) {
      live[i] = live[--liveCount];
      return true;
    }
  }
  return false;
}

void* Allocate(size_t size, bool cxx) {
  const bool counts = Counts(cxx);
  if (counts) largest = std::max(largest, size);
  if (counts && FailsNow()) return nullptr;
  void* p = __libc_malloc(size);
  if (counts) Track(p);
  return p;
}

void Arm(Scope s, long k) {
  scope = s;
  counted = 0;
  failAt = k;
  injected = false;
  largest = 0;
  liveCount = 0;
  liveOverflow = false;
  armed = true;
}

void Disarm() { armed = false; }

}  // namespace
}  // namespace hook

// ---- The replaced allocation functions --------------------------------------

extern "C" void* malloc(size_t size) { return hook::Allocate(size, false); }

extern "C" void* calloc(size_t count, size_t size) {
  const bool counts = hook::Counts(false);
  if (counts) hook::largest = std::max(hook::largest, count * size);
  if (counts && hook::FailsNow()) return nullptr;
  void* p = __libc_calloc(count, size);
  if (counts) hook::Track(p);
  return p;
}

extern "C" void* realloc(void* p, size_t size) {
  const bool counts = hook::Counts(false);
  if (counts) hook::largest = std::max(hook::largest, size);
  if (counts && hook::FailsNow()) return nullptr;  // p stays as it was
  void* q = __libc_realloc(p, size);
  if (p && (q || size == 0)) {
    const bool wasTracked = hook::Untrack(p);
    if (q && (counts || wasTracked)) hook::Track(q);
  } else if (counts) {
    hook::Track(q);
  }
  return q;
}

extern "C" void* aligned_alloc(size_t alignment, size_t size) {
  const bool counts = hook::Counts(false);
  if (counts) hook::largest = std::max(hook::largest, size);
  if (counts && hook::FailsNow()) return nullptr;
  void* p = __libc_memalign(alignment, size);
  if (counts) hook::Track(p);
  return p;
}

extern "C" void free(void* p) {
  if (p && hook::liveCount) hook::Untrack(p);
  __libc_free(p);
}

void* operator new(size_t size) {
  void* p = hook::Allocate(size ? size : 1, true);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) {
  void* p = hook::Allocate(size ? size : 1, true);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return hook::Allocate(size ? size : 1, true);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return hook::Allocate(size ? size : 1, true);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

namespace {

using hook::Scope;

constexpr long kMaxAllocations = 1000;

// Runs make() with the k-th counted allocation failing for k = 0, 1, ...
// until a run in which none failed; judge(result, output, injected) checks
// each result, release(result) frees it. Returns how many allocations the
// call makes when nothing fails.
template <typename Make, typename Judge, typename Release>
long Sweep(Scope scope, Make make, Judge judge, Release release) {
  // One run unarmed first, so that one-time set-up (stream buffers, locale
  // data) is not taken for a leak.
  release(make());
  for (long k = 0; k < kMaxAllocations; ++k) {
    SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
    decltype(make()) result{};
    bool threw = false;
    const std::string output = test::StdoutOf([&] {
      hook::Arm(scope, k);
      try {
        result = make();
      } catch (...) {
        threw = true;
      }
      hook::Disarm();
    });
    EXPECT_FALSE(threw) << "an exception crossed the interface";
    const bool injected = hook::injected;
    judge(result, output, injected);
    release(result);
    EXPECT_FALSE(hook::liveOverflow);
    EXPECT_EQ(hook::liveCount, 0)
        << "allocations made during the call are still live after release";
    if (!injected) return k;
  }
  ADD_FAILURE() << "the call makes more than " << kMaxAllocations
                << " allocations";
  return kMaxAllocations;
}

// The IMG contract: success gives the expected result silently; failure is
// none, made by an injected failure, with one report.
template <typename T, typename Same>
auto ImgJudge(Same same) {
  return [same](T* got, const std::string& output, bool injected) {
    if (got) {
      EXPECT_TRUE(same(got)) << "success with a different result";
      EXPECT_EQ(output, "");
    } else {
      EXPECT_TRUE(injected) << "failed with every allocation granted";
      EXPECT_EQ(output, "IMG error\n");
    }
  };
}

auto SameImage(const Image* expected) {
  return [expected](const Image* got) { return IMGEqual(got, expected); };
}

void FreeImage(Image* image) {
  if (image) IMGFree(&image);
}

// A small picture with distinct pixels.
test::ImagePtr Picture(int32_t width, int32_t height) {
  std::vector<uint32_t> values;
  for (int32_t i = 0; i < width * height; ++i)
    values.push_back(0x010203u * static_cast<uint32_t>(i + 1));
  return test::ImagePtr(test::MakeImage(width, height, values));
}

// ---- Readers ----------------------------------------------------------------

TEST(AllocFailure, ReadersGiveTheImageOrNoneWithOneReport) {
  const test::ImagePtr picture = Picture(5, 3);
  char* text = IMGToASCII(picture.get());
  ASSERT_TRUE(text);
  const std::string form = text;
  std::free(text);
  const test::TempDir dir;
  const std::string path = dir.File("picture.ppm");
  ASSERT_TRUE(IMGSave(picture.get(), path.c_str()));
  const std::string p6 = test::ReadFile(path);
  const std::string p3 =
      "P3\n# plain\n5 3\n255\n" + form.substr(form.find("255\n") + 4);

  const auto judge = ImgJudge<Image>(SameImage(picture.get()));
  EXPECT_GE(
      Sweep(
          Scope::kAll, [&] { return IMGLoad(path.c_str()); }, judge, FreeImage),
      3);  // stream buffer, stream, image record and pixels
  EXPECT_GE(Sweep(
                Scope::kAll,
                [&] {
                  return IMGParse(reinterpret_cast<const uint8_t*>(p3.data()),
                                  p3.size());
                },
                judge, FreeImage),
            2);
  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGFromASCII(form.c_str()); }, judge,
                FreeImage),
            2);
}

// ---- Transforms and the other builders of IMG -------------------------------

TEST(AllocFailure, TransformsGiveTheResultOrNoneWithOneReport) {
  const test::ImagePtr source = Picture(5, 4);
  const test::ImagePtr scaled(IMGScale(source.get(), 7, 3));
  const test::ImagePtr rotated(IMGRotate(source.get(), 100));
  ASSERT_TRUE(scaled && rotated);

  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGScale(source.get(), 7, 3); },
                ImgJudge<Image>(SameImage(scaled.get())), FreeImage),
            4);  // image, pixels, two tables and the column map
  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGRotate(source.get(), 100); },
                ImgJudge<Image>(SameImage(rotated.get())), FreeImage),
            2);
  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGCopy(source.get()); },
                ImgJudge<Image>(SameImage(source.get())), FreeImage),
            2);

  const test::ImagePtr blank(test::MakeImage(16, 16, {}));
  EXPECT_GE(Sweep(
                Scope::kAll, [] { return IMGNew(); },
                ImgJudge<Image>(SameImage(blank.get())), FreeImage),
            2);

  char* text = IMGToASCII(source.get());
  ASSERT_TRUE(text);
  const std::string form = text;
  std::free(text);
  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGToASCII(source.get()); },
                ImgJudge<char>([&](const char* got) { return form == got; }),
                [](char* got) { std::free(got); }),
            1);
  // An image without pixels takes the short form, from an allocation of its
  // own.
  const test::ImagePtr empty(test::MakeImage(0, 5, {}));
  EXPECT_GE(Sweep(
                Scope::kAll, [&] { return IMGToASCII(empty.get()); },
                ImgJudge<char>([](const char* got) {
                  return std::string(got) == "IMG{}";
                }),
                [](char* got) { std::free(got); }),
            1);

  const auto sameList = [](std::vector<int32_t> expected) {
    return [expected](const int32_t* got) {
      return std::equal(expected.begin(), expected.end(), got);
    };
  };
  const auto freeList = [](int32_t* list) { std::free(list); };
  EXPECT_GE(Sweep(
                Scope::kAll, [] { return IMGSpread(3, 7); },
                ImgJudge<int32_t>(sameList({3, 2, 2, 1})), freeList),
            1);
  EXPECT_GE(
      Sweep(
          Scope::kAll, [] { return IMGLinePoints(0, 0, 5, 2); },
          ImgJudge<int32_t>(sameList({12, 0, 0, 1, 1, 2, 1, 3, 1, 4, 2, 5, 2})),
          freeList),
      1);
}

// ---- Sizes claimed by a header ----------------------------------------------

// An input that claims the largest image the readers take (16384 x 4096) but
// holds one pixel must be refused before anything of that size is asked for.
TEST(AllocFailure, AClaimedSizeIsCheckedAgainstTheInputBeforeAllocating) {
  const std::string p3 = "P3\n16384 4096\n255\n1 2 3\n";
  const std::string form = "IMG{\n" + p3 + "}\n";
  const test::TempDir dir;
  const std::string path = dir.File("claim.ppm");
  test::WriteFile(path, p3);
  struct Reader {
    const char* name;
    std::function<Image*()> read;
  };
  const Reader readers[] = {
      {"IMGFromASCII", [&] { return IMGFromASCII(form.c_str()); }},
      {"IMGParse",
       [&] {
         return IMGParse(reinterpret_cast<const uint8_t*>(p3.data()),
                         p3.size());
       }},
      {"IMGLoad", [&] { return IMGLoad(path.c_str()); }},
  };
  for (const Reader& reader : readers) {
    SCOPED_TRACE(reader.name);
    Image* image = nullptr;
    const std::string output = test::StdoutOf([&] {
      hook::Arm(Scope::kAll, -1);
      image = reader.read();
      hook::Disarm();
    });
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(output, "IMG error\n");
    EXPECT_LT(hook::largest, size_t{1} << 20) << "bytes asked for at once";
    FreeImage(image);
  }
}

// ---- The demo's text loading and the writer ---------------------------------

TEST(AllocFailure, TextArtIsLoadedOrNoneWithOutOfMemoryAsTheReason) {
  const test::TempDir dir;
  const std::string path = dir.File("art.txt");
  const std::string art = "  /\\\n /  \\\n/____\\\n";
  test::WriteFile(path, art);
  for (int32_t limit : {-1, 615, 4}) {
    SCOPED_TRACE(limit);
    const std::string want = limit < 0 ? art : art.substr(0, size_t(limit));
    const char* reason = nullptr;
    EXPECT_GE(Sweep(
                  Scope::kAll,
                  [&] {
                    reason = nullptr;
                    return DEMOLoadText(path.c_str(), limit, &reason);
                  },
                  [&](char* text, const std::string& output, bool injected) {
                    EXPECT_EQ(output, "");
                    if (text) {
                      EXPECT_EQ(std::string(text), want);
                    } else {
                      EXPECT_TRUE(injected);
                      EXPECT_EQ(reason, DEMO_OUT_OF_MEMORY);
                    }
                  },
                  DEMOFreeText),
              1);
  }
}

TEST(AllocFailure, SaveWritesTheFileOrLeavesTheOldOneWithOneReport) {
  const test::ImagePtr picture = Picture(5, 3);
  const test::TempDir dir;
  const std::string path = dir.File("picture.ppm");
  ASSERT_TRUE(IMGSave(picture.get(), path.c_str()));
  const std::string written = test::ReadFile(path);
  // Through a symlink, over an existing file: every step of the save runs.
  std::filesystem::create_symlink("picture.ppm", dir.path() / "link.ppm");
  const std::string link = dir.File("link.ppm");
  int why = 0;
  EXPECT_GE(Sweep(
                Scope::kAll,
                [&] {
                  // Written without allocating: the hook is armed here.
                  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
                  if (fd < 0 || write(fd, "old", 3) != 3) return false;
                  close(fd);
                  const bool saved = IMGSave(picture.get(), link.c_str());
                  why = errno;
                  return saved;
                },
                [&](bool saved, const std::string& output, bool injected) {
                  if (saved) {
                    EXPECT_EQ(output, "");
                    EXPECT_EQ(test::ReadFile(path), written);
                  } else {
                    EXPECT_TRUE(injected);
                    EXPECT_EQ(output, "IMG error\n");
                    EXPECT_EQ(why, ENOMEM);
                    EXPECT_EQ(test::ReadFile(path), "old");
                  }
                  size_t entries = 0;
                  for ([[maybe_unused]] const auto& e :
                       std::filesystem::directory_iterator(dir.path()))
                    ++entries;
                  EXPECT_EQ(entries, 2u) << "a temporary file was left";
                },
                [](bool) {}),
            2);  // the resolved name and the write buffer
}

// ---- Constructors of the other modules --------------------------------------

// A text screen and a starfield have no Free; the test releases their two
// blocks itself, as SCRResize and STARSSetCount do.
void ReleaseScreen(TextScreen* screen) {
  if (!screen) return;
  delete[] screen->cells;
  delete screen;
}

void ReleaseStars(Starfield* field) {
  if (!field) return;
  delete[] field->stars;
  delete field;
}

TEST(AllocFailure, ConstructorsGiveTheObjectOrNone) {
  // Nothing below reports: their error switches are off.
  EXPECT_GE(Sweep(
                Scope::kAll, [] { return FONTNew(); },
                [](Font* font, const std::string& output, bool injected) {
                  EXPECT_EQ(output, "");
                  if (!font) {
                    EXPECT_TRUE(injected);
                    return;
                  }
                  EXPECT_EQ(font->cellWidth, 6);
                  EXPECT_EQ(font->cellHeight, 6);
                  EXPECT_EQ(font->glyphs, nullptr);
                },
                [](Font* font) {
                  if (font) FONTFree(&font);
                }),
            1);

  EXPECT_GE(Sweep(
                Scope::kAll, [] { return SCRNew(); },
                [](TextScreen* screen, const std::string&, bool injected) {
                  if (!screen) {
                    EXPECT_TRUE(injected);
                    return;
                  }
                  ASSERT_EQ(screen->cols, 80);
                  ASSERT_EQ(screen->rows, 25);
                  for (int i = 0; i < 80 * 25; ++i)
                    ASSERT_EQ(screen->cells[i], 32);
                },
                ReleaseScreen),
            2);

  // STARSNew then STARSSetCount: the field, or none; a count that could not
  // be allocated leaves a field without stars.
  EXPECT_GE(Sweep(
                Scope::kAll,
                [] {
                  Starfield* field = STARSNew();
                  STARSSetCount(field, 512);
                  return field;
                },
                [](Starfield* field, const std::string&, bool injected) {
                  if (!field) {
                    EXPECT_TRUE(injected);
                    return;
                  }
                  if (field->count == 512) {
                    EXPECT_NE(field->stars, nullptr);
                  } else {
                    EXPECT_TRUE(injected);
                    EXPECT_EQ(field->count, 0);
                    EXPECT_EQ(field->stars, nullptr);
                  }
                },
                ReleaseStars),
            3);

  // SCROLLNew then SCROLLSetText: a scroller on the current screen, or none;
  // a text that could not be copied leaves the default text.
  TextScreen* screen = SCRNew();
  ASSERT_TRUE(screen);
  const char kMessage[] = "a message for the scroller ";
  EXPECT_GE(Sweep(
                Scope::kAll,
                [&] {
                  Scroller* scroller = SCROLLNew();
                  SCROLLSetText(scroller, kMessage);
                  return scroller;
                },
                [&](Scroller* scroller, const std::string&, bool injected) {
                  if (!scroller) {
                    EXPECT_TRUE(injected);
                    return;
                  }
                  EXPECT_EQ(scroller->screen, screen);
                  const std::string text(scroller->text, scroller->length);
                  if (text != kMessage) {
                    EXPECT_TRUE(injected);
                    EXPECT_EQ(text, "A scroll's default text. ");
                  }
                },
                [](Scroller* scroller) {
                  if (scroller) SCROLLFree(scroller);
                }),
            3);
  ReleaseScreen(screen);
  // Leave a live current screen for anything that runs after this test.
  ASSERT_TRUE(SCRNew());
}

// The SDL singletons on the dummy video driver. SDL starts before the hook is
// armed, and only the allocations of our own code (operator new) are counted
// and failed: SDL 1.2's SDL_SetVideoMode dereferences its own failed
// allocations (it crashes on the third), and SDL keeps its video surface until
// it shuts down, which is not a leak of ours.
TEST(AllocFailure, DisplayAndKeyboardGiveTheSingletonOrNone) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ASSERT_TRUE(SDLPlatformInit());

  EXPECT_GE(Sweep(
                Scope::kCxx, [] { return SDLDPYNew(); },
                [](Display* display, const std::string&, bool injected) {
                  if (!display) {
                    EXPECT_TRUE(injected);
                    EXPECT_EQ(SDLDPYCurrent(), nullptr);
                    return;
                  }
                  EXPECT_EQ(SDLDPYCurrent(), display);
                  EXPECT_EQ(display->width, 256);
                },
                [](Display* display) {
                  if (display) SDLDPYFree(&display);
                }),
            1);

  Display* display = SDLDPYNew();
  ASSERT_TRUE(display);
  EXPECT_GE(Sweep(
                Scope::kCxx, [] { return SDLKBDNew(); },
                [](Keyboard* keyboard, const std::string&, bool injected) {
                  if (!keyboard) {
                    EXPECT_TRUE(injected);
                    return;
                  }
                  ASSERT_NE(keyboard->keys, nullptr);
                  EXPECT_EQ(keyboard->keys[0], 0);
                },
                [](Keyboard* keyboard) {
                  if (keyboard) SDLKBDFree(&keyboard);
                }),
            2);
  SDLDPYFree(&display);
}

}  // namespace
