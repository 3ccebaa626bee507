// The terminal view, checked through a small terminal emulator that plays
// the bytes back; the colour choice; the key decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "term/term.h"

namespace {

// What a terminal does with the sequences the view writes. Strict where real
// terminals differ: after the last column a terminal waits to wrap, and only
// an absolute move or a carriage return are sure to land where they say, so
// anything else there fails the test.
class Emulator {
 public:
  Emulator(int cols, int rows)
      : cols_(cols), rows_(rows), chars_(cols * rows, '~'),
        colours_(cols * rows, -2) {}

  void Play(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char b = bytes[i];
      if (b == '\x1b') {
        ASSERT_LT(i + 1, bytes.size());
        ASSERT_EQ(bytes[i + 1], '[');
        size_t j = i + 2;
        while (j < bytes.size() && !(bytes[j] >= 0x40 && bytes[j] <= 0x7E)) ++j;
        ASSERT_LT(j, bytes.size());
        Control(bytes.substr(i + 2, j - i - 2), bytes[j]);
        i = j;
      } else if (b == '\r') {
        x_ = 0;
        pending_ = false;
      } else {
        ASSERT_FALSE(pending_) << "relative move or character while waiting "
                                  "to wrap, at byte "
                               << i;
        if (b == '\n') {
          ++y_;
          ASSERT_LT(y_, rows_) << "line feed off the bottom";
        } else if (b == '\b') {
          ASSERT_GT(x_, 0);
          --x_;
        } else {
          ASSERT_GE(b, 32);
          ASSERT_LE(b, 126);
          ASSERT_LT(y_, rows_);
          chars_[y_ * cols_ + x_] = b;
          colours_[y_ * cols_ + x_] = fg_;
          if (x_ == cols_ - 1)
            pending_ = true;
          else
            ++x_;
        }
      }
    }
  }

  char At(int c, int r) const { return chars_[r * cols_ + c]; }
  int ColourAt(int c, int r) const { return colours_[r * cols_ + c]; }
  void Scramble() { chars_.assign(chars_.size(), '#'); }

 private:
  std::vector<int> Numbers(const std::string& params) {
    std::vector<int> n;
    size_t start = 0;
    while (start <= params.size()) {
      size_t end = params.find(';', start);
      if (end == std::string::npos) end = params.size();
      n.push_back(end > start ? std::atoi(params.substr(start).c_str()) : 0);
      start = end + 1;
    }
    return n;
  }

  void Control(const std::string& params, char final) {
    std::vector<int> n = Numbers(params);
    const int first = n[0] ? n[0] : 1;
    if (final == 'H') {
      y_ = first - 1;
      x_ = (n.size() > 1 && n[1] ? n[1] : 1) - 1;
      pending_ = false;
      ASSERT_LT(x_, cols_);
      ASSERT_LT(y_, rows_);
      return;
    }
    if (final == 'm') {
      for (size_t k = 0; k < n.size(); ++k) {
        if (n[k] == 0) fg_ = -1;
        if (n[k] == 38 && k + 2 < n.size() && n[k + 1] == 5) fg_ = n[k + 2];
        if (n[k] == 38 && k + 4 < n.size() && n[k + 1] == 2)
          fg_ = 0x1000000 | n[k + 2] << 16 | n[k + 3] << 8 | n[k + 4];
        if ((n[k] == 38 || n[k] == 48) && k + 1 < n.size())
          k += n[k + 1] == 5 ? 2 : 4;
      }
      return;
    }
    if (final == 'J') {
      ASSERT_EQ(n[0], 2);
      chars_.assign(chars_.size(), ' ');
      colours_.assign(colours_.size(), fg_);
      return;
    }
    ASSERT_FALSE(pending_) << "relative move while waiting to wrap";
    if (final == 'C') {
      x_ += first;
    } else if (final == 'D') {
      x_ -= first;
    } else if (final == 'B') {
      y_ += first;
    } else {
      FAIL() << "unexpected sequence " << params << final;
    }
    ASSERT_TRUE(x_ >= 0 && x_ < cols_ && y_ >= 0 && y_ < rows_);
  }

  int cols_, rows_;
  std::string chars_;
  std::vector<int> colours_;
  int x_ = 0, y_ = 0, fg_ = -1;
  bool pending_ = false;
};

struct ViewCase {
  const char* name;
  int cols, rows;          // the grid
  int termCols, termRows;  // the terminal
  TermColour colour;
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class TermViewTest : public ::testing::TestWithParam<ViewCase> {};

// A grid like the intro's: mostly blanks, some characters, a few codes that
// are not printable; each step moves some of them.
void Change(std::vector<int32_t>* cells, int32_t amount, std::minstd_rand* random) {
  static const int32_t kCodes[] = {'*', '0', '%', '#', 'A', '~', '!',
                                   0,   -23, 127, 200, 1000};
  for (int32_t k = 0; k < amount; ++k) {
    const size_t i = (*random)() % cells->size();
    const int pick = static_cast<int>((*random)() % 24);
    (*cells)[i] = pick < 12 ? kCodes[pick] : ' ';
  }
}

TEST_P(TermViewTest, EveryDrawLeavesTheTerminalShowingTheGridInTheInk) {
  const ViewCase& p = GetParam();
  TermView* view = TERMNew(p.cols, p.rows, p.termCols, p.termRows, p.colour);
  ASSERT_NE(view, nullptr);
  Emulator terminal(p.termCols, p.termRows);
  std::vector<int32_t> cells(p.cols * p.rows, ' ');
  uint32_t ink = 0xC0E0C0;
  std::minstd_rand random(7);
  const int visCols = std::min(p.cols, p.termCols);
  const int visRows = std::min(p.rows, p.termRows);
  for (int step = 0; step < 60; ++step) {
    Change(&cells, step % 7 == 3 ? p.cols * p.rows : 1 + step * 3, &random);
    if (step % 10 == 5) ink -= 0x0A0A0A;  // the fade darkens the ink
    if (step == 30) {                    // a resize: the terminal lost it all
      terminal.Scramble();
      TERMResize(view, p.termCols, p.termRows);
    }
    std::string out;
    TERMDraw(view, cells.data(), ink, &out);
    terminal.Play(out);
    if (HasFatalFailure()) return;
    const int expectedColour =
        p.colour == TermColour::Palette ? TERMNearest256(ink)
        : p.colour == TermColour::Direct ? static_cast<int>(0x1000000 | ink)
                                         : -1;
    for (int r = 0; r < visRows; ++r)
      for (int c = 0; c < visCols; ++c) {
        const char want = TERMGlyph(cells[r * p.cols + c]);
        ASSERT_EQ(terminal.At(c, r), want)
            << "step " << step << ", cell " << c << "," << r;
        if (want != ' ') {
          ASSERT_EQ(terminal.ColourAt(c, r), expectedColour)
              << "step " << step << ", cell " << c << "," << r;
        }
      }
    std::string again;
    TERMDraw(view, cells.data(), ink, &again);
    EXPECT_EQ(again, "") << "an unchanged grid writes nothing";
  }
  EXPECT_EQ(view->cut, visCols < p.cols || visRows < p.rows);
  TERMFree(&view);
  EXPECT_EQ(view, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TermViewTest,
    ::testing::Values(
        ViewCase{"SmallGridFillsTheTerminalExactly", 40, 25, 40, 25,
                 TermColour::Palette},
        ViewCase{"SmallGridOnALargeTerminal", 40, 25, 80, 60,
                 TermColour::Direct},
        ViewCase{"LargeGridCutToASmallTerminal", 80, 60, 30, 10,
                 TermColour::Palette},
        ViewCase{"LargeGridWithoutColour", 80, 60, 80, 60, TermColour::None}),
    [](const ::testing::TestParamInfo<ViewCase>& info) {
      return std::string(info.param.name);
    });

TEST(TermView, WritesOnlyTheCellsThatChangedWithCursorMoves) {
  TermView* view = TERMNew(80, 60, 80, 60, TermColour::None);
  ASSERT_NE(view, nullptr);
  std::vector<int32_t> cells(80 * 60, ' ');
  std::string out;
  TERMDraw(view, cells.data(), 0, &out);
  EXPECT_EQ(out, "\x1b[0m\x1b[2J") << "a blank first draw only clears";
  cells[10 * 80 + 20] = '*';
  cells[10 * 80 + 22] = '*';  // the blank between is cheaper than a move
  cells[40 * 80 + 70] = '*';
  out.clear();
  TERMDraw(view, cells.data(), 0, &out);
  EXPECT_EQ(out, "\x1b[11;21H* *\x1b[41;71H*");
  EXPECT_EQ(TERMNew(0, 25, 80, 60, TermColour::None), nullptr);
  TERMFree(&view);
}

TEST(TermColour, TheNearestPaletteEntryComesFromTheCubeOrTheGreys) {
  const struct {
    uint32_t rgb;
    int32_t entry;
  } cases[] = {{0x000000, 16},  {0xFFFFFF, 231}, {0xFF0000, 196},
               {0x808080, 244}, {0xC0E0C0, 151}, {0x0A0A0A, 232},
               {0x5F87AF, 67},  {0x010203, 16}};
  for (const auto& c : cases)
    EXPECT_EQ(TERMNearest256(c.rgb), c.entry) << std::hex << c.rgb;
}

TEST(TermColour, TheEnvironmentChoosesDirectPaletteOrNone) {
  const struct {
    const char *colorterm, *noColor, *term;
    TermColour expected;
  } cases[] = {
      {"truecolor", nullptr, "xterm-256color", TermColour::Direct},
      {"24bit", "", "tmux-256color", TermColour::Direct},
      {nullptr, nullptr, "xterm", TermColour::Palette},
      {"yes", nullptr, "linux", TermColour::Palette},
      {"truecolor", "1", "xterm-256color", TermColour::None},
      {nullptr, nullptr, "dumb", TermColour::None},
      {nullptr, nullptr, "vt100", TermColour::None},
      {nullptr, nullptr, nullptr, TermColour::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TERMChooseColour(c.colorterm, c.noColor, c.term), c.expected)
        << (c.colorterm ? c.colorterm : "-") << " "
        << (c.noColor ? c.noColor : "-") << " " << (c.term ? c.term : "-");
}

struct KeyCase {
  const char* name;
  std::string bytes;
  bool final;
  std::vector<int32_t> keys;
  size_t used;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class TermKeysTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(TermKeysTest, BytesDecodeToKeys) {
  const KeyCase& p = GetParam();
  std::vector<int32_t> keys(p.bytes.size() + 1);
  size_t count = 99;
  const size_t used = TERMDecodeKeys(
      reinterpret_cast<const uint8_t*>(p.bytes.data()), p.bytes.size(),
      p.final, keys.data(), &count);
  keys.resize(count);
  EXPECT_EQ(keys, p.keys);
  EXPECT_EQ(used, p.used);
}

INSTANTIATE_TEST_SUITE_P(
    Input, TermKeysTest,
    ::testing::Values(
        KeyCase{"PlainKeysAreTheirBytes", "q Q", false, {'q', ' ', 'Q'}, 3},
        KeyCase{"CtrlCIsAnInterrupt", "a\x03", false, {'a', TERM_KEY_INTERRUPT}, 2},
        KeyCase{"ArrowKeysGiveNothing", "\x1b[A\x1b[B\x1bOP ", false, {' '}, 10},
        KeyCase{"LongSequenceGivesNothing", "\x1b[15;2~q", false, {'q'}, 8},
        KeyCase{"TrailingEscapeWaitsForMore", "q\x1b", false, {'q'}, 1},
        KeyCase{"TrailingEscapeIsEscapeWhenNothingFollows", "\x1b", true, {27}, 1},
        KeyCase{"CutSequenceWaitsForItsEnd", "\x1b[1;", false, {}, 0},
        KeyCase{"CutSequenceIsDroppedWhenNothingFollows", "\x1b[1;", true, {}, 4},
        KeyCase{"AltAndAKeyGiveNothing", "\x1bq", false, {}, 2},
        KeyCase{"TwoEscapesAreTwoEscapes", "\x1b\x1b", true, {27, 27}, 2},
        KeyCase{"SequenceBrokenByAControlByteReadsOn", "\x1b[1\x03", false,
                {TERM_KEY_INTERRUPT}, 4},
        KeyCase{"BytesOfOtherCharactersGiveNothing", "\xc3\xa9q", false, {'q'}, 3}),
    [](const ::testing::TestParamInfo<KeyCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
