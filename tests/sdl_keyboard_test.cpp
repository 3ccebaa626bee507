// The keyboard on SDL's dummy video driver, with events pushed into SDL's
// queue: singleton rules and which code a drain of the queue leaves behind.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "sdl/display.h"
#include "sdl/keyboard.h"
#include "tests/test_support.h"

namespace {

class SdlKeyboard : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0)
        << SDL_GetError();
    display_ = SDLDPYNew();
    ASSERT_NE(display_, nullptr);
    // The flags are the build's: the tests run in a window.
    ASSERT_EQ(SDLDPY_MODE_FLAGS & SDL_FULLSCREEN, 0u);
    Drain();  // whatever SDL posted while opening the window
  }
  void TearDown() override {
    if (keyboard_) SDLKBDFree(&keyboard_);
    if (display_) SDLDPYFree(&display_);
    SDL_Quit();
  }

  static void Drain() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
  }

  Display* display_ = nullptr;
  Keyboard* keyboard_ = nullptr;
};

// One event to push: a key press or release, or some other event type.
struct Event {
  Uint8 type;
  int sym;
};

Event Down(int sym) { return {SDL_KEYDOWN, sym}; }
Event Up(int sym) { return {SDL_KEYUP, sym}; }

void Push(const Event& e) {
  SDL_Event event{};
  event.type = e.type;
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      event.key.type = e.type;
      event.key.state = e.type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
      event.key.keysym.sym = static_cast<SDLKey>(e.sym);
      break;
    case SDL_MOUSEMOTION:
      event.motion.type = e.type;
      event.motion.x = 3;
      event.motion.y = 4;
      break;
    case SDL_ACTIVEEVENT:
      event.active.type = e.type;
      event.active.gain = 0;
      event.active.state = SDL_APPINPUTFOCUS;
      break;
    default:
      break;
  }
  ASSERT_EQ(SDL_PushEvent(&event), 0) << SDL_GetError();
}

bool QueueEmpty() {
  SDL_Event event;
  return SDL_PollEvent(&event) == 0;
}

// ---- Singleton and canonical operations -------------------------------------

TEST(SdlKeyboardNoDisplay, NewWithoutDisplayIsNone) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0);
  EXPECT_EQ(SDLKBDNew(), nullptr);
  SDL_Quit();
}

TEST_F(SdlKeyboard, NewReturnsOneZeroedKeyboard) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  ASSERT_NE(keyboard_->keys, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(keyboard_->keys[i], 0) << i;
  EXPECT_EQ(SDLKBDNew(), keyboard_);
  EXPECT_EQ(SDLKBDNew(), keyboard_);
}

TEST_F(SdlKeyboard, CanonicalOperations) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  EXPECT_EQ(SDLKBDEqual(keyboard_, keyboard_), 1);
  EXPECT_EQ(SDLKBDEqual(keyboard_, nullptr), 0);
  EXPECT_EQ(SDLKBDEqual(nullptr, keyboard_), 0);
  EXPECT_EQ(SDLKBDEqual(nullptr, nullptr), 0);
  EXPECT_EQ(SDLKBDCopy(keyboard_), nullptr);
  EXPECT_EQ(SDLKBDCopy(nullptr), nullptr);
  EXPECT_EQ(SDLKBDFromASCII(""), nullptr);
  EXPECT_EQ(SDLKBDFromASCII(nullptr), nullptr);
  ASSERT_NE(SDLKBDToASCII(keyboard_), nullptr);
  EXPECT_STREQ(SDLKBDToASCII(keyboard_), "");
  EXPECT_EQ(SDLKBDToASCII(nullptr), nullptr);
}

TEST_F(SdlKeyboard, TracesAreSilentInTheBuild) {
  std::string out = test::StdoutOf([&] {
    keyboard_ = SDLKBDNew();
    Push(Down(SDLK_a));
    SDLKBDGetKey(keyboard_);
    SDLKBDGetKey(nullptr);
    SDLKBDEqual(nullptr, keyboard_);
    SDLKBDFree(nullptr);
  });
  EXPECT_EQ(out, "");
  ASSERT_NE(keyboard_, nullptr);
  EXPECT_EQ(keyboard_->keys[0], 'a');
}

TEST_F(SdlKeyboard, FreeClearsHandleAndNewAfterFreeBuildsAFreshKeyboard) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  keyboard_->keys[0] = 'x';
  Keyboard* stale = keyboard_;
  SDLKBDFree(&keyboard_);
  EXPECT_EQ(keyboard_, nullptr);
  SDLKBDFree(&stale);  // not the keyboard any more: nothing happens
  Keyboard* none = nullptr;
  SDLKBDFree(&none);
  SDLKBDFree(nullptr);

  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  ASSERT_NE(keyboard_->keys, nullptr);
  EXPECT_EQ(keyboard_->keys[0], 0);
}

// ---- Draining the queue -----------------------------------------------------

struct DrainCase {
  const char* name;
  uint8_t before;  // key code when the drain starts
  std::vector<Event> events;
  uint8_t after;
};

void PrintTo(const DrainCase& c, std::ostream* os) { *os << c.name; }

class SdlKeyboardDrain : public SdlKeyboard,
                         public testing::WithParamInterface<DrainCase> {};

TEST_P(SdlKeyboardDrain, LastKeyEventDecides) {
  const DrainCase& c = GetParam();
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  keyboard_->keys[0] = c.before;
  for (const Event& e : c.events) Push(e);
  SDLKBDGetKey(keyboard_);
  EXPECT_EQ(keyboard_->keys[0], c.after);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(keyboard_->keys[i], 0) << i;
  EXPECT_TRUE(QueueEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Events, SdlKeyboardDrain,
    testing::Values(
        DrainCase{"NoEventsKeepsCode", 'k', {}, 'k'},
        DrainCase{"Press", 0, {Down(SDLK_a)}, 'a'},
        DrainCase{"Escape", 0, {Down(SDLK_ESCAPE)}, 27},
        DrainCase{"Space", 0, {Down(SDLK_SPACE)}, 32},
        // A tap shorter than one frame: its release does not undo it.
        DrainCase{"PressThenOwnReleaseKeepsThePress",
                  0,
                  {Down(SDLK_q), Up(SDLK_q)},
                  'q'},
        DrainCase{"LastPressWins", 0, {Down(SDLK_a), Down(SDLK_b)}, 'b'},
        DrainCase{"LastPressWinsOverLaterReleases",
                  0,
                  {Down(SDLK_a), Down(SDLK_b), Up(SDLK_b), Up(SDLK_a)},
                  'b'},
        DrainCase{"ReleaseOfAnotherKeyKeepsThePress",
                  0,
                  {Down(SDLK_a), Up(SDLK_b)},
                  'a'},
        DrainCase{"ReleaseClearsOldCode", 'k', {Up(SDLK_k)}, 0},
        DrainCase{"PressAfterRelease", 0, {Up(SDLK_a), Down(SDLK_c)}, 'c'},
        DrainCase{"F2ReadsAsEscape", 0, {Down(SDLK_F2)}, 27},
        DrainCase{"F7ReadsAsSpace", 0, {Down(SDLK_F7)}, 32},
        DrainCase{"Keypad0ReadsAsNoKey", 'k', {Down(SDLK_KP0)}, 0},
        DrainCase{"OtherEventsIgnored",
                  'k',
                  {Event{SDL_MOUSEMOTION, 0}, Event{SDL_ACTIVEEVENT, 0}},
                  'k'},
        DrainCase{"OtherEventsAfterPress",
                  0,
                  {Down(SDLK_q), Event{SDL_MOUSEMOTION, 0},
                   Event{SDL_ACTIVEEVENT, 0}},
                  'q'},
        DrainCase{"QuitEventReadsAsEscape", 'k', {Event{SDL_QUIT, 0}}, 27},
        DrainCase{"QuitEventWinsOverALaterPress",
                  0,
                  {Event{SDL_QUIT, 0}, Down(SDLK_SPACE), Up(SDLK_SPACE)},
                  27}),
    [](const testing::TestParamInfo<DrainCase>& info) {
      return info.param.name;
    });

TEST_F(SdlKeyboard, PressStaysUntilTheCallerClearsIt) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  Push(Down(SDLK_q));
  SDLKBDGetKey(keyboard_);
  SDLKBDGetKey(keyboard_);
  SDLKBDGetKey(keyboard_);
  EXPECT_EQ(keyboard_->keys[0], 'q');
  keyboard_->keys[0] = 0;
  SDLKBDGetKey(keyboard_);
  EXPECT_EQ(keyboard_->keys[0], 0);
}

TEST_F(SdlKeyboard, QuitPendingTakesOnlyTheQuitEvent) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  EXPECT_FALSE(SDLKBDQuitPending());
  Push(Down(SDLK_a));
  Push(Event{SDL_QUIT, 0});
  EXPECT_TRUE(SDLKBDQuitPending());
  EXPECT_FALSE(SDLKBDQuitPending());
  SDLKBDGetKey(keyboard_);  // the key press is still there
  EXPECT_EQ(keyboard_->keys[0], 'a');
}

TEST_F(SdlKeyboard, NoKeyboardStillDrainsTheQueue) {
  Push(Down(SDLK_a));
  Push(Event{SDL_QUIT, 0});
  SDLKBDGetKey(nullptr);
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(SdlKeyboard, NoDisplayDrainsTheQueueAndStoresNothing) {
  keyboard_ = SDLKBDNew();
  ASSERT_NE(keyboard_, nullptr);
  keyboard_->keys[0] = 'k';
  SDLDPYFree(&display_);
  Push(Down(SDLK_a));
  Push(Up(SDLK_a));
  SDLKBDGetKey(keyboard_);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_EQ(keyboard_->keys[0], 'k');
}

}  // namespace
