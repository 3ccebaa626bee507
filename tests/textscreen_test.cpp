// Text screen: creation and sizing, printing, runs, boxes, lines and the dump.
#include "textscreen/textscreen.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"

namespace {

using test::Grid;
using test::OwnedScreen;

// A cols x rows screen of blanks, freed at the end of the caller's scope.
OwnedScreen Screen(int32_t cols, int32_t rows) {
  TextScreen* screen = SCRNew();
  SCRResize(screen, cols, rows);
  return OwnedScreen(screen);
}

// Everything SCRDump writes for screen.
std::string DumpOf(TextScreen* screen) {
  FILE* f = std::tmpfile();
  SCRDump(screen, f);
  std::string out;
  std::rewind(f);
  for (int ch; (ch = std::fgetc(f)) != EOF;) out += static_cast<char>(ch);
  std::fclose(f);
  return out;
}

TEST(ScrNew, GivesBlankEightyByTwentyFiveAndBecomesCurrent) {
  OwnedScreen first(SCRNew());
  OwnedScreen screen(SCRNew());
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(SCRCurrent(), screen);
  EXPECT_NE(first, screen);
  EXPECT_EQ(screen->cols, 80);
  EXPECT_EQ(screen->rows, 25);
  EXPECT_EQ(screen->dumps, 0);
  for (int32_t i = 0; i < 80 * 25; ++i) ASSERT_EQ(screen->cells[i], 32) << i;
}

TEST(ScrFree, ReleasesTheScreenAndTheCurrentOneIsNoneAfterwards) {
  TextScreen* older = SCRNew();
  TextScreen* newer = SCRNew();
  ASSERT_NE(older, nullptr);
  ASSERT_NE(newer, nullptr);
  SCRFree(&older);  // not the current one: the current one stays
  EXPECT_EQ(older, nullptr);
  EXPECT_EQ(SCRCurrent(), newer);
  SCRFree(&newer);
  EXPECT_EQ(newer, nullptr);
  EXPECT_EQ(SCRCurrent(), nullptr);
  SCRFree(&newer);
  SCRFree(nullptr);
}

TEST(ScrResize, ReplacesContentsByBlanks) {
  OwnedScreen screen = Screen(3, 2);
  SCRFill(screen, 'x');
  SCRResize(screen, 4, 1);
  EXPECT_EQ(Grid(screen), "    ");
  SCRFill(screen, 'x');
  SCRResize(screen, 4, 1);
  EXPECT_EQ(Grid(screen), "    ");
}

struct ResizeCase {
  int32_t cols, rows;
  int32_t wantCols, wantRows;
};
void PrintTo(const ResizeCase& c, std::ostream* os) {
  *os << c.cols << " x " << c.rows;
}

class ScrResizeSize : public testing::TestWithParam<ResizeCase> {};

TEST_P(ScrResizeSize, KeepsValidSizesAndEmptiesBadOnes) {
  const ResizeCase& c = GetParam();
  OwnedScreen screen = Screen(5, 5);
  SCRResize(screen, c.cols, c.rows);
  EXPECT_EQ(screen->cols, c.wantCols);
  EXPECT_EQ(screen->rows, c.wantRows);
  // Every operation still works on what is left, clipped to it.
  SCRFill(screen, 'x');
  SCRBox(screen, -9, -9, 9, 9, 'z');  // covers every grid here
  SCRSet(screen, 0, 0, 'y');
  SCRPrint(screen, 0, 1, "abc\ndef");
  std::string want;
  for (int32_t r = 0; r < c.wantRows; ++r) {
    if (r) want += '\n';
    for (int32_t col = 0; col < c.wantCols; ++col) {
      const char* line = r == 1 ? "abc" : r == 2 ? "def" : "";
      want += r == 0 && col == 0          ? 'y'
              : col < int32_t(std::strlen(line)) ? line[col]
                                                 : 'z';
    }
  }
  EXPECT_EQ(Grid(screen), want);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ScrResizeSize,
    testing::Values(ResizeCase{7, 3, 7, 3}, ResizeCase{0, 0, 0, 0},
                    ResizeCase{0, 3, 0, 3}, ResizeCase{3, 0, 3, 0},
                    ResizeCase{-1, 5, 0, 0}, ResizeCase{5, -1, 0, 0},
                    ResizeCase{INT32_MIN, INT32_MIN, 0, 0},
                    ResizeCase{65536, 65536, 0, 0},
                    ResizeCase{INT32_MAX, 2, 0, 0}),
    [](const testing::TestParamInfo<ResizeCase>& info) {
      return test::NameNumber(info.param.cols) + "x" +
             test::NameNumber(info.param.rows);
    });

TEST(ScrPutChar, SignExtendsBytesWhileSetStoresValues) {
  OwnedScreen screen = Screen(4, 1);
  SCRPutChar(screen, 0, 0, static_cast<int8_t>(0xE9));
  SCRSet(screen, 1, 0, 233);
  SCRSet(screen, 2, 0, -5000);
  EXPECT_EQ(screen->cells[0], -23);
  EXPECT_EQ(screen->cells[1], 233);
  EXPECT_EQ(screen->cells[2], -5000);
}

TEST(ScrSet, DropsCellsOffTheGrid) {
  OwnedScreen screen = Screen(3, 2);
  for (auto [c, r] : {std::pair{-1, 0},
                      {3, 0},
                      {0, -1},
                      {0, 2},
                      {INT32_MIN, INT32_MIN},
                      {INT32_MAX, INT32_MAX}})
    SCRSet(screen, c, r, '#');
  EXPECT_EQ(Grid(screen), "   \n   ");
}

struct PrintCase {
  const char* name;
  int32_t col, row;
  const char* text;
  const char* want;  // 6 x 4 grid
};
void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class ScrPrintText : public testing::TestWithParam<PrintCase> {};

TEST_P(ScrPrintText, WritesRowsFromTheStartColumnClipped) {
  const PrintCase& c = GetParam();
  OwnedScreen screen = Screen(6, 4);
  SCRPrint(screen, c.col, c.row, c.text);
  EXPECT_EQ(Grid(screen), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScrPrintText,
    testing::Values(PrintCase{"NewlineReturnsToStartColumn", 2, 1, "PQ\nR",
                              "      \n"
                              "  PQ  \n"
                              "  R   \n"
                              "      "},
                    PrintCase{"LeftPartDropped", -1, 0, "XY",
                              "Y     \n      \n      \n      "},
                    PrintCase{"RightPartDroppedNoWrap", 4, 0, "abcdef\ngh",
                              "    ab\n    gh\n      \n      "},
                    PrintCase{"RowsAboveAndBelowDropped", 0, -1,
                              "top\nmid\n\n\n\nlow",
                              "mid   \n      \n      \n      "},
                    PrintCase{"EmptyLinesSkipRows", 1, 0, "a\n\nb",
                              " a    \n      \n b    \n      "},
                    PrintCase{"FarOutsideDrawsNothing", INT32_MAX - 1,
                              INT32_MAX, "abcdef\nabc",
                              "      \n      \n      \n      "},
                    PrintCase{"FarLeftReachesNothing", INT32_MIN, 0, "abc",
                              "      \n      \n      \n      "}),
    [](const auto& info) { return std::string(info.param.name); });

// Each case draws on a blank 8 x 4 screen with ch '#'.
struct ShapeCase {
  const char* name;
  void (*draw)(TextScreen*);
  const char* want;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class ScrShape : public testing::TestWithParam<ShapeCase> {};

TEST_P(ScrShape, FillsTheInclusiveCellsOnTheGrid) {
  const ShapeCase& c = GetParam();
  OwnedScreen screen = Screen(8, 4);
  c.draw(screen);
  EXPECT_EQ(Grid(screen), c.want);
}

constexpr const char* kRow1TwoToSix =
    "        \n"
    "  ##### \n"
    "        \n"
    "        ";
constexpr const char* kBoxOneTwoToFiveThree =
    "        \n"
    "        \n"
    " #####  \n"
    " #####  ";
constexpr const char* kBlank8x4 = "        \n        \n        \n        ";

INSTANTIATE_TEST_SUITE_P(
    Runs, ScrShape,
    testing::Values(
        ShapeCase{"HLine", [](TextScreen* s) { SCRHLine(s, 2, 6, 1, '#'); },
                  kRow1TwoToSix},
        ShapeCase{"HLineReversed",
                  [](TextScreen* s) { SCRHLine(s, 6, 2, 1, '#'); },
                  kRow1TwoToSix},
        ShapeCase{"HLineSingleCell",
                  [](TextScreen* s) { SCRHLine(s, 3, 3, 0, '#'); },
                  "   #    \n        \n        \n        "},
        ShapeCase{"HLineWiderThanRow",
                  [](TextScreen* s) { SCRHLine(s, -5, 500, 3, '#'); },
                  "        \n        \n        \n########"},
        ShapeCase{
            "HLineExtremes",
            [](TextScreen* s) { SCRHLine(s, INT32_MAX, INT32_MIN, 0, '#'); },
            "########\n        \n        \n        "},
        ShapeCase{"HLineOffTheGrid",
                  [](TextScreen* s) {
                    SCRHLine(s, 0, 7, -1, '#');
                    SCRHLine(s, 0, 7, 4, '#');
                    SCRHLine(s, 8, 20, 0, '#');
                    SCRHLine(s, -9, -1, 0, '#');
                  },
                  kBlank8x4},
        ShapeCase{"VLine", [](TextScreen* s) { SCRVLine(s, 3, 1, 5, '#'); },
                  "        \n     #  \n     #  \n     #  "},
        ShapeCase{"VLineTallerThanColumn",
                  [](TextScreen* s) { SCRVLine(s, -7, 70, 0, '#'); },
                  "#       \n#       \n#       \n#       "},
        ShapeCase{"VLineOffTheGrid",
                  [](TextScreen* s) {
                    SCRVLine(s, 0, 3, -1, '#');
                    SCRVLine(s, 0, 3, 8, '#');
                    SCRVLine(s, 4, 9, 0, '#');
                    SCRVLine(s, -9, -1, 0, '#');
                  },
                  kBlank8x4},
        ShapeCase{"BoxCornersTopLeftFirst",
                  [](TextScreen* s) { SCRBox(s, 1, 2, 5, 3, '#'); },
                  kBoxOneTwoToFiveThree},
        ShapeCase{"BoxCornersBottomRightFirst",
                  [](TextScreen* s) { SCRBox(s, 5, 3, 1, 2, '#'); },
                  kBoxOneTwoToFiveThree},
        ShapeCase{"BoxCornersTopRightFirst",
                  [](TextScreen* s) { SCRBox(s, 5, 2, 1, 3, '#'); },
                  kBoxOneTwoToFiveThree},
        ShapeCase{"BoxCornersBottomLeftFirst",
                  [](TextScreen* s) { SCRBox(s, 1, 3, 5, 2, '#'); },
                  kBoxOneTwoToFiveThree},
        ShapeCase{"BoxOverlappingEveryEdge",
                  [](TextScreen* s) { SCRBox(s, -3, -3, 30, 30, '#'); },
                  "########\n########\n########\n########"},
        ShapeCase{"BoxOffTheGrid",
                  [](TextScreen* s) {
                    SCRBox(s, -5, 0, -1, 3, '#');
                    SCRBox(s, 8, 0, 9, 3, '#');
                    SCRBox(s, 0, -5, 7, -1, '#');
                    SCRBox(s, 0, 4, 7, 9, '#');
                  },
                  kBlank8x4}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
  const char* name;
  int32_t col0, row0, col1, row1;
  const char* want;  // 6 x 5 grid
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ScrLineCells : public testing::TestWithParam<LineCase> {};

TEST_P(ScrLineCells, SetsTheSteppedCells) {
  const LineCase& c = GetParam();
  OwnedScreen screen = Screen(6, 5);
  SCRLine(screen, c.col0, c.row0, c.col1, c.row1, '#');
  EXPECT_EQ(Grid(screen), c.want);
}

constexpr const char* kShallowDown =
    "#     \n"
    " ##   \n"
    "   ## \n"
    "      \n"
    "      ";
constexpr const char* kBlank6x5 = "      \n      \n      \n      \n      ";

INSTANTIATE_TEST_SUITE_P(
    Lines, ScrLineCells,
    testing::Values(
        LineCase{"ShallowDown", 0, 0, 4, 2, kShallowDown},
        LineCase{"ShallowDownReversed", 4, 2, 0, 0, kShallowDown},
        LineCase{"ShallowUp", 0, 2, 4, 0,
                 "    # \n"
                 "  ##  \n"
                 "##    \n"
                 "      \n"
                 "      "},
        LineCase{"SteepDown", 0, 0, 2, 4,
                 "#     \n"
                 " #    \n"
                 " #    \n"
                 "  #   \n"
                 "  #   "},
        // Regression: steep lines going up once drew nothing; they mirror
        // the steep-down ones.
        LineCase{"SteepUpMirrorsSteepDown", 0, 4, 2, 0,
                 "  #   \n"
                 "  #   \n"
                 " #    \n"
                 " #    \n"
                 "#     "},
        LineCase{"SteepUpGivenRightEndFirst", 2, 0, 0, 4,
                 "  #   \n"
                 "  #   \n"
                 " #    \n"
                 " #    \n"
                 "#     "},
        LineCase{"SameColumnDrawsNothing", 2, 0, 2, 4, kBlank6x5},
        LineCase{"SameRowDrawsNothing", 0, 3, 5, 3, kBlank6x5},
        LineCase{"SingleCellDrawsNothing", 3, 3, 3, 3, kBlank6x5},
        LineCase{"DiagonalKeepsFirstCell", 0, 0, 3, 3,
                 "#     \n      \n      \n      \n      "},
        LineCase{"DiagonalReversedKeepsLeftEnd", 3, 3, 0, 0,
                 "#     \n      \n      \n      \n      "},
        LineCase{"ShallowClippedAtBothSides", -4, 0, 9, 3,
                 "      \n"
                 "###   \n"
                 "   ###\n"
                 "      \n"
                 "      "},
        LineCase{"SteepClippedAtTopAndBottom", -2, -4, 6, 9,
                 "#     \n"
                 " #    \n"
                 "  #   \n"
                 "  #   \n"
                 "   #  "},
        LineCase{"SteepUpClippedAtTopAndBottom", -2, 9, 6, -4,
                 "    # \n"
                 "   #  \n"
                 "  #   \n"
                 "  #   \n"
                 " #    "},
        LineCase{"BothRowsAboveDrawsNothing", 0, -1, 5, -3, kBlank6x5},
        LineCase{"BothRowsBelowDrawsNothing", 0, 5, 5, 9, kBlank6x5},
        LineCase{"WhollyLeftDrawsNothing", -9, 0, -1, 4, kBlank6x5},
        LineCase{"WhollyRightDrawsNothing", 6, 0, 9, 4, kBlank6x5},
        LineCase{"ExtremeShallow", INT32_MIN, 0, INT32_MAX, 1,
                 "######\n      \n      \n      \n      "},
        LineCase{"ExtremeSteepDown", 0, INT32_MIN, 1, INT32_MAX,
                 "#     \n#     \n#     \n#     \n#     "},
        LineCase{"ExtremeSteepUp", 0, INT32_MAX, 1, INT32_MIN,
                 "#     \n#     \n#     \n#     \n#     "},
        LineCase{"ExtremeDiagonalStartOff", INT32_MIN, INT32_MIN, INT32_MAX,
                 INT32_MAX, kBlank6x5}),
    [](const auto& info) { return std::string(info.param.name); });

// The line stepper written out plainly: every column or row of the line is
// stepped and each cell clipped on its own. SCRLine must set the same cells.
void PlainLine(TextScreen* s, int32_t col0, int32_t row0, int32_t col1,
               int32_t row1) {
  auto put = [s](int32_t c, int32_t r) {
    if (c >= 0 && r >= 0 && c < s->cols && r < s->rows)
      s->cells[r * s->cols + c] = '#';
  };
  if (col0 > col1) {
    std::swap(col0, col1);
    std::swap(row0, row1);
  }
  const int32_t dx = col1 - col0, dy = row1 - row0;
  const int32_t ady = dy < 0 ? -dy : dy;
  if (dx == 0 || dy == 0) return;
  if (dx == ady) {
    put(col0, row0);
  } else if (dx > ady) {
    for (int32_t c = col0, r = row0 * 65536 + 0x8000; c <= col1;
         ++c, r += dy * 65536 / dx)
      put(c, r >> 16);
  } else if (dy > 0) {
    for (int32_t r = row0, q = col0 * 65536 + 0x8000; r <= row1;
         ++r, q += dx * 65536 / dy)
      put(q >> 16, r);
  } else {
    for (int32_t r = row0, q = col0 * 65536 + 0x8000; r >= row1;
         --r, q += dx * 65536 / ady)
      put(q >> 16, r);
  }
}

TEST(ScrLine, SetsTheSameCellsAsThePlainStepperForEveryEndpointPair) {
  OwnedScreen got = Screen(7, 5);
  OwnedScreen want = Screen(7, 5);
  for (int32_t col0 = -6; col0 <= 12; ++col0)
    for (int32_t row0 = -5; row0 <= 9; ++row0)
      for (int32_t col1 = -6; col1 <= 12; ++col1)
        for (int32_t row1 = -5; row1 <= 9; ++row1) {
          SCRFill(got, ' ');
          SCRFill(want, ' ');
          SCRLine(got, col0, row0, col1, row1, '#');
          PlainLine(want, col0, row0, col1, row1);
          ASSERT_EQ(Grid(got), Grid(want))
              << "(" << col0 << ", " << row0 << ") to (" << col1 << ", " << row1
              << ")";
        }
}

TEST(ScrDump, WritesAllButTheLastColumnAndCounts) {
  OwnedScreen screen = Screen(3, 2);
  SCRPrint(screen, 0, 0, "abc\ndef");
  EXPECT_EQ(DumpOf(screen), "\nab\nde");
  EXPECT_EQ(screen->dumps, 1);
  EXPECT_EQ(DumpOf(screen), "\nab\nde");
  EXPECT_EQ(screen->dumps, 2);
}

TEST(ScrDump, WritesTheLowByteOfEachCell) {
  OwnedScreen screen = Screen(4, 1);
  SCRSet(screen, 0, 0, 0x141);                          // 'A' in the low byte
  SCRPutChar(screen, 1, 0, static_cast<int8_t>(0xE9));  // stored as -23
  EXPECT_EQ(DumpOf(screen), "\nA\xE9 ");
}

struct DumpCase {
  int32_t cols, rows;
  const char* want;
};
void PrintTo(const DumpCase& c, std::ostream* os) {
  *os << c.cols << " x " << c.rows;
}

class ScrDumpEmpty : public testing::TestWithParam<DumpCase> {};

TEST_P(ScrDumpEmpty, WritesOnlyTheLinesThatExist) {
  const DumpCase& c = GetParam();
  OwnedScreen screen = Screen(c.cols, c.rows);
  EXPECT_EQ(DumpOf(screen), c.want);
  EXPECT_EQ(screen->dumps, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScrDumpEmpty,
                         testing::Values(DumpCase{0, 0, "\n"},
                                         DumpCase{5, 0, "\n"},
                                         DumpCase{0, 3, "\n\n\n"},
                                         DumpCase{1, 2, "\n\n"},
                                         DumpCase{2, 1, "\n "}),
                         [](const testing::TestParamInfo<DumpCase>& info) {
                           return std::to_string(info.param.cols) + "x" +
                                  std::to_string(info.param.rows);
                         });

TEST(ScrNone, EveryOperationOnNoneDoesNothing) {
  SCRResize(nullptr, 3, 3);
  SCRFill(nullptr, 1);
  SCRSet(nullptr, 0, 0, 1);
  SCRPutChar(nullptr, 0, 0, 'a');
  SCRPrint(nullptr, 0, 0, "a");
  SCRHLine(nullptr, 0, 1, 0, 'a');
  SCRVLine(nullptr, 0, 1, 0, 'a');
  SCRBox(nullptr, 0, 0, 1, 1, 'a');
  SCRLine(nullptr, 0, 0, 3, 1, 'a');
  SCRDump(nullptr, stdout);
  OwnedScreen screen = Screen(2, 1);
  SCRPrint(screen, 0, 0, nullptr);
  SCRDump(screen, nullptr);
  EXPECT_EQ(Grid(screen), "  ");
  EXPECT_EQ(screen->dumps, 0);
}

}  // namespace
