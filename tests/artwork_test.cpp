// The intro's artwork: the glyph sheet and its source, the world map, the
// running-man frames, the logo and the scroll message.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "img/img.h"
#include "tests/test_support.h"
#include "tools/glyph_source.h"

namespace {

std::string DataPath(const std::string& name) {
  return std::string(INTRO_SOURCE_DIR) + "/data/" + name;
}

// The file, or a test failure when it is missing.
std::string ReadData(const std::string& name) {
  const std::string path = DataPath(name);
  std::string bytes = test::ReadFile(path);
  EXPECT_FALSE(bytes.empty()) << path << " is missing or empty";
  return bytes;
}

GlyphSet CommittedGlyphs() {
  GlyphSet set;
  std::string error;
  EXPECT_TRUE(GLYPHParse(ReadData("font8x8.txt"), &set, &error)) << error;
  return set;
}

bool HasInk(const GlyphSet& set, int code) {
  for (uint8_t row : set.rows[code])
    if (row) return true;
  return false;
}

// The lines of text, each without its '\n'; false when the text does not end
// with one.
bool SplitLines(const std::string& text, std::vector<std::string>* lines) {
  lines->clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines->push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return start == text.size();
}

bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

// ---- Glyph source ----------------------------------------------------------

// A valid source: every glyph blank except code 65, which has one ink cell.
std::string ValidSource() {
  std::string text = "; test source\n\n";
  for (int c = 0; c < GLYPH_COUNT; ++c) {
    text += "glyph " + std::to_string(c) + " label\n";
    for (int y = 0; y < GLYPH_SIZE; ++y)
      text += (c == 65 && y == 3) ? "..#.....\n" : "........\n";
    text += "\n";
  }
  return text;
}

// Replaces the first occurrence of from in text by to.
std::string Replace(std::string text, const std::string& from,
                    const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(GlyphParse, AcceptsCommentsLabelsAndCrlf) {
  GlyphSet set;
  std::string error;
  std::string crlf;
  for (char c : ValidSource()) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  ASSERT_TRUE(GLYPHParse(crlf, &set, &error)) << error;
  EXPECT_EQ(set.rows[65][3], 0x20);
  EXPECT_EQ(set.rows[65][2], 0);
}

TEST(GlyphParse, AcceptsGlyphsInAnyOrder) {
  // Move glyph 0 to the end of the text.
  std::string text = ValidSource();
  const size_t start = text.find("glyph 0 ");
  const size_t end = text.find("glyph 1 ");
  text = text.substr(0, start) + text.substr(end) +
         text.substr(start, end - start);
  GlyphSet set;
  std::string error;
  EXPECT_TRUE(GLYPHParse(text, &set, &error)) << error;
}

struct BadSource {
  const char* name;
  std::string text;
  const char* message;  // expected part of the error
};

class GlyphParseRejects : public testing::TestWithParam<BadSource> {};

TEST_P(GlyphParseRejects, WithAMessage) {
  GlyphSet set;
  std::string error;
  EXPECT_FALSE(GLYPHParse(GetParam().text, &set, &error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, GlyphParseRejects,
    testing::Values(
        BadSource{"ShortRow", Replace(ValidSource(), "..#.....\n", "..#....\n"),
                  "has 7 cells, expected 8"},
        BadSource{"LongRow",
                  Replace(ValidSource(), "..#.....\n", "..#......\n"),
                  "has 9 cells, expected 8"},
        BadSource{"ForeignCell",
                  Replace(ValidSource(), "..#.....\n", "..X.....\n"),
                  "has 'X' in a row"},
        BadSource{"DuplicateCode",
                  Replace(ValidSource(), "glyph 66 ", "glyph 65 "),
                  "glyph 65 defined twice"},
        BadSource{"RowsWithoutHeader",
                  Replace(ValidSource(), "glyph 66 ", "; glyph 66 "),
                  "expected \"glyph <code>\""},
        BadSource{"MissingLastGlyph",
                  ValidSource().substr(0, ValidSource().find("glyph 127 ")),
                  "glyph 127 is missing"},
        BadSource{"TruncatedGlyph",
                  ValidSource().substr(  // header and three rows
                      0, ValidSource().find("glyph 127 ") + 16 + 3 * 9),
                  "glyph 127 ends after 3 rows"},
        BadSource{
            "BlankLineInsideGlyph",
            Replace(ValidSource(), "glyph 5 label\n", "glyph 5 label\n\n"),
            "has 0 cells"},
        BadSource{"CodeOutOfRange",
                  Replace(ValidSource(), "glyph 127 ", "glyph 128 "),
                  "out of range"},
        BadSource{
            "HugeCode",
            Replace(ValidSource(), "glyph 127 ", "glyph 99999999999999999999 "),
            "out of range"},
        BadSource{"HeaderWithoutCode",
                  Replace(ValidSource(), "glyph 7 label", "glyph label"),
                  "expected \"glyph <code>\""},
        BadSource{"CodeRunIntoLabel",
                  Replace(ValidSource(), "glyph 7 label", "glyph 7x"),
                  "expected \"glyph <code>\""}),
    [](const testing::TestParamInfo<BadSource>& info) {
      return std::string(info.param.name);
    });

TEST(GlyphParse, MissingGlyphInTheMiddleIsNamed) {
  // Drop glyph 66 with its rows entirely.
  std::string text = ValidSource();
  const size_t start = text.find("glyph 66 ");
  const size_t end = text.find("glyph 67 ");
  text.erase(start, end - start);
  GlyphSet set;
  std::string error;
  EXPECT_FALSE(GLYPHParse(text, &set, &error));
  EXPECT_EQ(error, "glyph 66 is missing");
}

TEST(GlyphSheet, PlacesCodeSixtyFiveAtItsCell) {
  // Code 65 of a 16-glyph-wide sheet of 8 x 8 cells sits at (8, 32).
  GlyphSet set;
  set.rows[65][3] = 0x20;  // column 2 of row 3
  test::ImagePtr sheet(GLYPHSheet(set, GLYPH_INK));
  ASSERT_TRUE(sheet);
  ASSERT_EQ(sheet->width, 128);
  ASSERT_EQ(sheet->height, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      EXPECT_EQ(IMGGetPixel(sheet.get(), x, y),
                (x == 10 && y == 35) ? GLYPH_INK : 0u)
          << "at " << x << ", " << y;
}

TEST(GlyphSheet, LastCodeFillsTheBottomRightCell) {
  GlyphSet set;
  for (auto& row : set.rows[127]) row = 0xFF;
  test::ImagePtr sheet(GLYPHSheet(set, 0x123456));
  ASSERT_TRUE(sheet);
  int ink = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      if (IMGGetPixel(sheet.get(), x, y)) {
        ++ink;
        EXPECT_TRUE(x >= 120 && y >= 56) << "stray ink at " << x << ", " << y;
        EXPECT_EQ(IMGGetPixel(sheet.get(), x, y), 0x123456u);
      }
  EXPECT_EQ(ink, 64);
}

// ---- The committed font -----------------------------------------------------

TEST(FontArtwork, CommittedSheetIsBuiltFromTheSource) {
  GlyphSet set = CommittedGlyphs();
  test::ImagePtr expected(GLYPHSheet(set, GLYPH_INK));
  ASSERT_TRUE(expected);
  test::ImagePtr committed(IMGLoad(DataPath("font8x8.ppm").c_str()));
  ASSERT_TRUE(committed) << "cannot load data/font8x8.ppm";
  if (IMGEqual(committed.get(), expected.get())) return;

  const std::string actual =
      std::string(INTRO_BINARY_DIR) + "/font8x8_actual.ppm";
  IMGSave(expected.get(), actual.c_str());
  ASSERT_EQ(committed->width, expected->width);
  ASSERT_EQ(committed->height, expected->height);
  for (int y = 0; y < expected->height; ++y)
    for (int x = 0; x < expected->width; ++x)
      ASSERT_EQ(IMGGetPixel(committed.get(), x, y),
                IMGGetPixel(expected.get(), x, y))
          << "first difference at (" << x << ", " << y << "), glyph "
          << (y / 8 * 16 + x / 8) << "; the sheet built from the source is "
          << actual << " (rebuild with the font_sheet target)";
}

TEST(FontArtwork, BlankIsAllBackground) {
  EXPECT_FALSE(HasInk(CommittedGlyphs(), ' '));
}

TEST(FontArtwork, EveryPrintableGlyphHasInk) {
  const GlyphSet set = CommittedGlyphs();
  for (int c = 33; c <= 126; ++c)
    EXPECT_TRUE(HasInk(set, c)) << "glyph " << c << " '" << char(c) << "'";
}

TEST(FontArtwork, PrintableGlyphsAreAllDifferent) {
  const GlyphSet set = CommittedGlyphs();
  for (int a = 33; a <= 126; ++a)
    for (int b = a + 1; b <= 126; ++b)
      EXPECT_NE(set.rows[a], set.rows[b])
          << "'" << char(a) << "' and '" << char(b) << "' look the same";
}

TEST(FontArtwork, LettersAndDigitsKeepTheirRightColumnBlank) {
  // The blank column keeps neighbouring characters of a word apart.
  const GlyphSet set = CommittedGlyphs();
  for (int c = 33; c <= 126; ++c) {
    if (!std::isalnum(c)) continue;
    for (int y = 0; y < GLYPH_SIZE; ++y)
      EXPECT_EQ(set.rows[c][y] & 1, 0)
          << "'" << char(c) << "' row " << y << " touches its neighbour";
  }
}

// ---- World map --------------------------------------------------------------

TEST(MapArtwork, IsPlainTextEndingWithANewline) {
  const std::string map = ReadData("WorldMap.txt");
  ASSERT_FALSE(map.empty());
  EXPECT_EQ(map.find('\0'), std::string::npos) << "a zero byte ends the text";
  EXPECT_EQ(map.back(), '\n');
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(map, &lines));
  for (size_t r = 0; r < lines.size(); ++r)
    for (char c : lines[r])
      ASSERT_TRUE(IsPrintable(c)) << "line " << r + 1 << " byte " << int(c);
}

// ---- Running man ------------------------------------------------------------

std::string FrameName(int k) {
  return std::string("manRun0") + "0123456789abcdefghijklmno"[k] + ".txt";
}

TEST(RunnerArtwork, FramesFitTheByteLimit) {
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    const std::string frame = ReadData(FrameName(k));
    EXPECT_LE(frame.size(), size_t(DEMO_FRAME_TEXT_MAX)) << FrameName(k);
    EXPECT_EQ(frame.find('\0'), std::string::npos) << FrameName(k);
  }
}

TEST(RunnerArtwork, FramesShareOneOpaqueBox) {
  // Frames are printed over each other without clearing: every frame must
  // cover the same box, blanks included, so none leaves bits of the last.
  std::vector<std::string> first;
  ASSERT_TRUE(SplitLines(ReadData(FrameName(0)), &first));
  ASSERT_FALSE(first.empty());
  const size_t width = first[0].size();
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitLines(ReadData(FrameName(k)), &lines))
        << FrameName(k) << ": last line has no '\\n'";
    EXPECT_EQ(lines.size(), first.size()) << FrameName(k);
    for (size_t r = 0; r < lines.size(); ++r) {
      EXPECT_EQ(lines[r].size(), width) << FrameName(k) << " line " << r + 1;
      for (char c : lines[r])
        EXPECT_TRUE(IsPrintable(c)) << FrameName(k) << " line " << r + 1;
    }
  }
}

TEST(RunnerArtwork, BoxFitsTheSmallScreen) {
  // Drawn from column 40 / 2 - 4 and row 25 / 2 - 6 of the 40 x 25 screen.
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(ReadData(FrameName(0)), &lines));
  ASSERT_FALSE(lines.empty());
  EXPECT_LE(16 + lines[0].size(), 40u);
  EXPECT_LE(6 + lines.size(), 25u);
}

TEST(RunnerArtwork, EveryFrameMovesOnFromTheLast) {
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    const int next = (k + 1) % DEMO_FRAME_TEXTS;
    EXPECT_NE(ReadData(FrameName(k)), ReadData(FrameName(next)))
        << FrameName(k) << " and " << FrameName(next);
  }
}

// ---- Logo -------------------------------------------------------------------

TEST(LogoText, IsFiveRowsOfNineteenCells) {
  const std::string logo = DEMO_LOGO;
  ASSERT_EQ(logo.size(), 100u);
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(logo[r * 20 + 19], '\n') << "row " << r;
    for (int c = 0; c < 19; ++c) {
      const char cell = logo[r * 20 + c];
      EXPECT_TRUE(cell == '0' || cell == ' ')
          << "row " << r << " column " << c << ": '" << cell << "'";
    }
  }
  EXPECT_NE(logo.find('0'), std::string::npos);
}

// ---- Scroll message ---------------------------------------------------------

// The message cut into its sections: runs of 21 or more blanks separate
// sections; *gaps receives their lengths.
std::vector<std::string> Sections(const std::string& body,
                                  std::vector<size_t>* gaps) {
  std::vector<std::string> sections;
  size_t i = 0;
  std::string current;
  while (i < body.size()) {
    size_t run = 0;
    while (i + run < body.size() && body[i + run] == ' ') ++run;
    if (run >= 21) {
      sections.push_back(current);
      current.clear();
      gaps->push_back(run);
      i += run;
    } else if (run > 0) {
      current.append(run, ' ');
      i += run;
    } else {
      current += body[i++];
    }
  }
  sections.push_back(current);
  return sections;
}

size_t LeadingBlanks(const std::string& s) {
  const size_t n = s.find_first_not_of(' ');
  return n == std::string::npos ? s.size() : n;
}

size_t TrailingBlanks(const std::string& s) {
  const size_t n = s.find_last_not_of(' ');
  return n == std::string::npos ? s.size() : s.size() - 1 - n;
}

TEST(ScrollMessage, IsOneLineOfPrintableCharacters) {
  const std::string message = DEMO_SCROLL_MESSAGE;
  for (size_t i = 0; i < message.size(); ++i)
    ASSERT_TRUE(IsPrintable(message[i])) << "byte " << i;
}

TEST(ScrollMessage, EntersAndLeavesThroughBlankRuns) {
  const std::string message = DEMO_SCROLL_MESSAGE;
  EXPECT_EQ(LeadingBlanks(message), 100u);
  EXPECT_EQ(TrailingBlanks(message), 101u);
}

TEST(ScrollMessage, HasElevenSectionsWithTheirGaps) {
  const std::string message = DEMO_SCROLL_MESSAGE;
  ASSERT_GT(message.size(), 201u);
  const std::string body = message.substr(100, message.size() - 201);
  std::vector<size_t> gaps;
  const std::vector<std::string> sections = Sections(body, &gaps);
  ASSERT_EQ(sections.size(), 11u);
  EXPECT_EQ(gaps,
            (std::vector<size_t>{21, 21, 21, 21, 21, 21, 41, 41, 41, 21}));
  for (size_t i = 0; i < sections.size(); ++i) {
    ASSERT_FALSE(sections[i].empty()) << "section " << i + 1;
    EXPECT_NE(sections[i].front(), ' ') << "section " << i + 1;
    EXPECT_NE(sections[i].back(), ' ') << "section " << i + 1;
  }

  const std::string& date = sections[1];
  ASSERT_EQ(date.size(), 14u) << date;
  EXPECT_EQ(date.substr(0, 6), "Date: ");
  for (char c : date.substr(6)) EXPECT_TRUE(std::isdigit(uint8_t(c))) << date;

  EXPECT_EQ(sections[2].front(), '"') << "the note opens a quotation";
  EXPECT_EQ(sections[3].back(), '"') << "the second part closes it";
  EXPECT_EQ(sections[5],
            "Press [ESC] to leave the intro. Press [space] to change part.");
}

}  // namespace
