// Scroller: binding, text copies, the drawn window and the wrapping step.
#include "textscreen/scroll.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using test::OwnedScreen;

// Row r of screen as characters (low byte of each cell).
std::string Row(const TextScreen* screen, int32_t r) {
  std::string out;
  for (int32_t c = 0; c < screen->cols; ++c)
    out += static_cast<char>(screen->cells[r * screen->cols + c] & 0xFF);
  return out;
}

// A new current screen of cols x rows blanks and a scroller bound to it; the
// screen is freed with the Bound.
struct Bound {
  OwnedScreen screen;
  Scroller* scroller;
};

TextScreen* NewScreen(int32_t cols, int32_t rows) {
  TextScreen* screen = SCRNew();
  SCRResize(screen, cols, rows);
  return screen;
}

Bound NewBound(int32_t cols, int32_t rows) {
  return {OwnedScreen(NewScreen(cols, rows)), SCROLLNew()};
}

struct ScrollerDeleter {
  void operator()(Scroller* s) const { SCROLLFree(s); }
};

// The offset by the stepping rule as written: add the speed, then subtract
// the length while too large and add it while negative.
int32_t SteppedOffset(int32_t offset, int32_t speed, int32_t length) {
  offset += speed;
  while (offset >= length) offset -= length;
  while (offset < 0) offset += length;
  return offset;
}

// Runs in a fresh copy of the test program, before any screen exists there.
TEST(ScrollNew, IsNoneBeforeAnyTextScreen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (SCRCurrent()) std::exit(2);
        std::exit(SCROLLNew() == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ScrollNew, BindsToTheCurrentScreenWithDefaults) {
  OwnedScreen other(SCRNew());
  OwnedScreen screen(SCRNew());
  std::unique_ptr<Scroller, ScrollerDeleter> s(SCROLLNew());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->screen, screen);
  EXPECT_EQ(s->column, 0);
  EXPECT_EQ(s->row, 0);
  EXPECT_EQ(s->speed, 1);
  EXPECT_EQ(s->offset, 0);
  EXPECT_EQ(s->length, 25);
  EXPECT_STREQ(s->text, "A scroll's default text. ");
}

struct DrawCase {
  const char* name;
  const char* text;  // none: the default text
  int32_t offset, column, row;
  const char* want;  // row 1 of a 40 x 3 screen
};
void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.name; }

class ScrollDrawWindow : public testing::TestWithParam<DrawCase> {};

TEST_P(ScrollDrawWindow, WritesTheTextCyclicallyFromTheOffset) {
  const DrawCase& c = GetParam();
  Bound b = NewBound(40, 3);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  if (c.text) SCROLLSetText(s.get(), c.text);
  s->offset = c.offset;
  s->column = c.column;
  s->row = c.row;
  SCROLLDraw(s.get());
  const std::string blank(40, ' ');
  EXPECT_EQ(Row(b.screen, 0), blank);
  EXPECT_EQ(Row(b.screen, 1), c.want);
  EXPECT_EQ(Row(b.screen, 2), blank);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ScrollDrawWindow,
    testing::Values(
        DrawCase{"FromTheStart", nullptr, 0, 0, 1,
                 "A scroll's default text. A scroll's defa"},
        DrawCase{"WrapsPastTheEnd", nullptr, 20, 0, 1,
                 "ext. A scroll's default text. A scroll's"},
        DrawCase{"LastCharacterFirst", nullptr, 24, 0, 1,
                 " A scroll's default text. A scroll's def"},
        DrawCase{"StartColumnPushesTheRestOffScreen", nullptr, 0, 35, 1,
                 "                                   A scr"},
        // The window is as wide as the screen, so it ends 3 cells early.
        DrawCase{"StartLeftOfTheScreen", nullptr, 0, -3, 1,
                 "croll's default text. A scroll's defa   "},
        DrawCase{"StartFarLeftLeavesTheRowBlank", nullptr, 0, -40, 1,
                 "                                        "},
        DrawCase{"StartFarRight", nullptr, 0, INT32_MAX, 1,
                 "                                        "},
        DrawCase{"StartFarLeft", nullptr, 0, INT32_MIN, 1,
                 "                                        "},
        DrawCase{"ShortTextRepeats", "ab", 1, 0, 1,
                 "babababababababababababababababababababa"},
        DrawCase{"OneCharacterFillsTheRow", "=", 0, 0, 1,
                 "========================================"},
        DrawCase{"RowAboveDrawsNothing", nullptr, 0, 0, -1,
                 "                                        "},
        DrawCase{"RowBelowDrawsNothing", nullptr, 0, 0, 3,
                 "                                        "},
        DrawCase{"EmptyTextDrawsNothing", "", 0, 0, 1,
                 "                                        "},
        DrawCase{"OffsetSetOutOfRangeIsTakenCyclically", "abc", -1, 0, 1,
                 "cabcabcabcabcabcabcabcabcabcabcabcabcabc"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScrollDraw, StoresHighBytesAsNegativeCells) {
  Bound b = NewBound(3, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  SCROLLSetText(s.get(), "\xE9z");
  SCROLLDraw(s.get());
  EXPECT_EQ(b.screen->cells[0], -23);
  EXPECT_EQ(b.screen->cells[1], 'z');
  EXPECT_EQ(b.screen->cells[2], -23);
}

TEST(ScrollDraw, SpansTheScreensCurrentWidth) {
  Bound b = NewBound(10, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  SCRResize(b.screen, 4, 1);
  SCROLLDraw(s.get());
  EXPECT_EQ(Row(b.screen, 0), "A sc");
}

TEST(ScrollSetText, KeepsItsOwnCopyAndRestarts) {
  Bound b = NewBound(8, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  char text[] = "12345";
  s->offset = 7;
  SCROLLSetText(s.get(), text);
  EXPECT_EQ(s->offset, 0);
  EXPECT_EQ(s->length, 5);
  text[0] = 'X';
  SCROLLDraw(s.get());
  EXPECT_EQ(Row(b.screen, 0), "12345123");
  SCROLLSetText(s.get(), nullptr);  // no text to copy: nothing changes
  EXPECT_STREQ(s->text, "12345");
}

struct StepCase {
  const char* text;
  int32_t speed, offset, want;
};
void PrintTo(const StepCase& c, std::ostream* os) {
  *os << "\"" << c.text << "\", speed " << c.speed << ", offset " << c.offset;
}

class ScrollStepOffset : public testing::TestWithParam<StepCase> {};

TEST_P(ScrollStepOffset, WrapsIntoTheText) {
  const StepCase& c = GetParam();
  Bound b = NewBound(4, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  SCROLLSetText(s.get(), c.text);
  s->speed = c.speed;
  s->offset = c.offset;
  SCROLLStep(s.get());
  EXPECT_EQ(s->offset, c.want);
}

constexpr const char* kDefault = "A scroll's default text. ";

INSTANTIATE_TEST_SUITE_P(
    Steps, ScrollStepOffset,
    testing::Values(StepCase{kDefault, 1, 0, 1}, StepCase{kDefault, 1, 24, 0},
                    StepCase{kDefault, -1, 0, 24},
                    StepCase{kDefault, 60, 0, 10},
                    StepCase{kDefault, -60, 0, 15},
                    StepCase{kDefault, 0, 13, 13},
                    // 2^31 - 1 = 25 * 85899345 + 22; -2^31 leaves -23.
                    StepCase{kDefault, INT32_MAX, 0, 22},
                    StepCase{kDefault, INT32_MAX, 24, 21},
                    StepCase{kDefault, INT32_MIN, 0, 2}, StepCase{"", 1, 0, 0},
                    StepCase{"", -7, 0, 0}, StepCase{"", 5, 3, 0}),
    [](const testing::TestParamInfo<StepCase>& info) {
      const StepCase& c = info.param;
      return std::string(*c.text ? "DefaultText" : "EmptyText") + "Speed" +
             test::NameNumber(c.speed) + "From" + test::NameNumber(c.offset);
    });

TEST(ScrollStep, MatchesRepeatedSubtractionForSmallSpeeds) {
  Bound b = NewBound(4, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  SCROLLSetText(s.get(), "seven!!");
  for (int32_t speed = -30; speed <= 30; ++speed)
    for (int32_t offset = 0; offset < 7; ++offset) {
      s->speed = speed;
      s->offset = offset;
      SCROLLStep(s.get());
      ASSERT_EQ(s->offset, SteppedOffset(offset, speed, 7))
          << "speed " << speed << ", offset " << offset;
    }
}

// Operations given none change nothing: not the current screen, not a live
// scroller, whose text none does not replace either.
TEST(ScrollNone, OperationsOnNoneChangeNothing) {
  Bound b = NewBound(6, 1);
  std::unique_ptr<Scroller, ScrollerDeleter> s(b.scroller);
  SCROLLSetText(s.get(), "abc");
  s->offset = 1;
  SCRFill(b.screen, '.');
  SCROLLFree(nullptr);
  SCROLLSetText(nullptr, "x");
  SCROLLSetText(s.get(), nullptr);
  SCROLLDraw(nullptr);
  SCROLLStep(nullptr);
  EXPECT_EQ(Row(b.screen, 0), "......");
  EXPECT_EQ(std::string(s->text, s->length), "abc");
  EXPECT_EQ(s->offset, 1);
  SCROLLDraw(s.get());  // the scroller still works
  EXPECT_EQ(Row(b.screen, 0), "bcabca");
}

}  // namespace
