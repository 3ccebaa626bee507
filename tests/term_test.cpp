// The terminal view, checked through a small terminal emulator that plays
// the bytes back; the colour choice; the key decoder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
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
        if (bytes.compare(i, 8, "\x1b[?2026h") == 0 ||
            bytes.compare(i, 8, "\x1b[?2026l") == 0) {
          ASSERT_NE(synchronized_, bytes[i + 7] == 'h')
              << "synchronized output begun twice or ended unbegun";
          synchronized_ = bytes[i + 7] == 'h';
          i += 7;
          continue;
        }
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
  std::string Row(int r) const { return chars_.substr(r * cols_, cols_); }
  bool Synchronized() const { return synchronized_; }
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
  bool synchronized_ = false;
};

struct ViewCase {
  const char* name;
  int cols, rows;          // the grid
  int termCols, termRows;  // the terminal
  TermColour colour;
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class TermViewTest : public ::testing::TestWithParam<ViewCase> {};

// One draw's bytes.
std::string Draw(TermView* view, const int32_t* cells, uint32_t ink) {
  EXPECT_TRUE(TERMDraw(view, cells, ink));
  return std::string(view->out, view->outSize);
}

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
    const std::string out = Draw(view, cells.data(), ink);
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
    EXPECT_EQ(Draw(view, cells.data(), ink), "")
        << "an unchanged grid writes nothing";
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
  EXPECT_EQ(Draw(view, cells.data(), 0), "\x1b[0m\x1b[2J")
      << "a blank first draw only clears";
  cells[10 * 80 + 20] = '*';
  cells[10 * 80 + 22] = '*';  // the blank between is cheaper than a move
  cells[40 * 80 + 70] = '*';
  EXPECT_EQ(Draw(view, cells.data(), 0), "\x1b[11;21H* *\x1b[41;71H*");
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
  bool final;  // nothing more comes within the Escape time
  std::vector<int32_t> keys;
  bool waiting;  // the bytes end inside what may be a sequence (before
                 // the timeout)
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class TermKeysTest : public ::testing::TestWithParam<KeyCase> {};

// Feeds the bytes in reads of at most chunk bytes, then the timeout when the
// case says nothing more came.
std::vector<int32_t> Decode(const KeyCase& p, size_t chunk, bool* waiting) {
  TermKeys decoder{};
  std::vector<int32_t> keys, out(chunk + 1);
  const auto* bytes = reinterpret_cast<const uint8_t*>(p.bytes.data());
  for (size_t at = 0; at < p.bytes.size(); at += chunk) {
    const size_t n = std::min(chunk, p.bytes.size() - at);
    const size_t count = TERMDecodeKeys(&decoder, bytes + at, n, out.data());
    EXPECT_LE(count, n + 1);
    keys.insert(keys.end(), out.begin(), out.begin() + count);
  }
  *waiting = TERMKeysWaiting(&decoder);
  if (p.final) {
    const size_t count = TERMKeysTimeout(&decoder, out.data());
    keys.insert(keys.end(), out.begin(), out.begin() + count);
    EXPECT_FALSE(TERMKeysWaiting(&decoder));
  }
  return keys;
}

TEST_P(TermKeysTest, BytesDecodeToKeysHoweverTheReadsCutThem) {
  const KeyCase& p = GetParam();
  for (size_t chunk : {p.bytes.size() + 1, size_t(1), size_t(2), size_t(3),
                       size_t(512)}) {
    bool waiting = false;
    EXPECT_EQ(Decode(p, chunk, &waiting), p.keys) << "reads of " << chunk;
    EXPECT_EQ(waiting, p.waiting) << "reads of " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Input, TermKeysTest,
    ::testing::Values(
        KeyCase{"PlainKeysAreTheirBytes", "q Q", false, {'q', ' ', 'Q'}, false},
        KeyCase{"CtrlCIsAnInterrupt", "a\x03", false, {'a', TERM_KEY_INTERRUPT},
                false},
        KeyCase{"ArrowKeysGiveNothing", "\x1b[A\x1b[B\x1bOP ", false, {' '},
                false},
        KeyCase{"LongSequenceGivesNothing", "\x1b[15;2~q", false, {'q'}, false},
        KeyCase{"TrailingEscapeWaitsForMore", "q\x1b", false, {'q'}, true},
        KeyCase{"TrailingEscapeIsEscapeWhenNothingFollows", "\x1b", true, {27},
                true},
        KeyCase{"CutSequenceWaitsForItsEnd", "\x1b[1;", false, {}, true},
        KeyCase{"SequenceEndsAtItsFinalByte", "\x1b[1;q", false,
                {}, false},
        KeyCase{"CutSequenceIsDroppedAtTheTimeout", "\x1b[1;", true, {}, true},
        KeyCase{"ShiftThreeWaitsForItsKey", "\x1bO", false, {}, true},
        KeyCase{"ShiftThreeSwallowsTheKeyAfterIt", "\x1bOq", false, {}, false},
        KeyCase{"ShiftThreeCutShortIsDroppedAtTheTimeout", "q\x1bO", true,
                {'q'}, true},
        KeyCase{"AltAndAKeyGiveNothing", "\x1bq", false, {}, false},
        KeyCase{"TwoEscapesAreTwoEscapes", "\x1b\x1b", true, {27, 27}, true},
        KeyCase{"SequenceBrokenByAControlByteReadsOn", "\x1b[1\x03", false,
                {TERM_KEY_INTERRUPT}, false},
        KeyCase{"EscapeBeforeAControlByteIsEscape", "\x1b\x03", false,
                {27, TERM_KEY_INTERRUPT}, false},
        KeyCase{"OverLongSequenceIsSwallowedWhole",
                "\x1b[" + std::string(515, '1') + " q", false, {}, false},
        KeyCase{"OverLongSequenceThenKeys",
                "x\x1b[" + std::string(5000, ';') + "~q\x03", false,
                {'x', 'q', TERM_KEY_INTERRUPT}, false},
        KeyCase{"BytesOfOtherCharactersGiveNothing", "\xc3\xa9q", false, {'q'},
                false}),
    [](const ::testing::TestParamInfo<KeyCase>& info) {
      return std::string(info.param.name);
    });

// ---- asciicast v2 -------------------------------------------------------------

// The string of a JSON event line, unescaped (the escapes the encoder uses).
std::string Unescape(const std::string& json) {
  std::string out;
  for (size_t i = 0; i < json.size(); ++i) {
    if (json[i] != '\\') {
      out += json[i];
      continue;
    }
    const char e = json[++i];
    if (e == 'u') {
      out += static_cast<char>(std::stoi(json.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else {
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 'b' ? '\b' : e;
    }
  }
  return out;
}

struct CastEvent {
  std::string time;  // as written
  std::string bytes;
};

// Splits an event line [time, "o", "..."] into its time and bytes.
bool ParseEvent(const std::string& line, CastEvent* event) {
  const size_t comma = line.find(", \"o\", \"");
  if (line.size() < 12 || line[0] != '[' || comma == std::string::npos ||
      line.compare(line.size() - 2, 2, "\"]") != 0)
    return false;
  event->time = line.substr(1, comma - 1);
  event->bytes = Unescape(line.substr(comma + 8, line.size() - comma - 10));
  return true;
}

TEST(TermCast, EventLinesEscapeEveryByteThatJsonMust) {
  const std::string bytes = std::string("\x1b[2J\"a\\b\"\n\r\b\x18\x7f") +
                            std::string(1, '\0') + "\xc3";
  std::vector<char> line(TERMCastEventBound(bytes.size()));
  const size_t n = TERMCastEvent(12345678, bytes.data(), bytes.size(),
                                 line.data(), line.size());
  ASSERT_GT(n, 0u);
  const std::string text(line.data(), n);
  EXPECT_EQ(text,
            "[12.345678, \"o\", \"\\u001b[2J\\\"a\\\\b\\\"\\n\\r\\b\\u0018"
            "\\u007f\\u0000\\u00c3\"]\n");
  for (char c : text.substr(0, n - 1))
    EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "a raw control byte";
  CastEvent event;
  ASSERT_TRUE(ParseEvent(text.substr(0, n - 1), &event));
  EXPECT_EQ(event.bytes, bytes);
  EXPECT_EQ(TERMCastEvent(0, bytes.data(), bytes.size(), line.data(), 20), 0u)
      << "a line that does not fit is refused";
}

TEST(TermCast, PresentationTimesComeFromTheirNumberAlone) {
  const struct {
    int64_t k;
    int32_t fps;
    int64_t microseconds;
  } cases[] = {{0, 30, 0},          {1, 30, 33333},       {2, 30, 66667},
               {30, 30, 1000000},   {999, 30, 33300000},  {1, 7, 142857},
               {86400LL * 1000, 1000, 86400000000LL},    {123457, 60, 2057616667}};
  for (const auto& c : cases)
    EXPECT_EQ(TERMCastTime(c.k, c.fps), c.microseconds)
        << c.k << " at " << c.fps;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// intro-capture's cast, replayed through the emulator, shows at every
// presentation exactly the cells intro-capture writes for it, at the time
// the presentation's number gives.
struct CastCase {
  const char* name;
  const char* size;
  int cols, rows;
  int frames, fps;
  const char* keys;
};

void PrintTo(const CastCase& c, std::ostream* os) { *os << c.name; }

class TermCastTest : public ::testing::TestWithParam<CastCase> {};

TEST_P(TermCastTest, ReplayShowsTheCellsOfEveryPresentationOnTime) {
  const CastCase& p = GetParam();
  const std::string capture = INTRO_BINARY_DIR "/bin/intro-capture";
  if (!INTRO_HAVE_CAPTURE)
    GTEST_SKIP() << "intro-capture is not built (INTRO_SDL=OFF)";
  ASSERT_EQ(access(capture.c_str(), X_OK), 0) << capture;
  char folder[] = "/tmp/term-cast-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder, cast = dir + "/intro.cast";
  const std::string command =
      "cd '" INTRO_SOURCE_DIR "/data' && SDL_VIDEODRIVER=dummy '" + capture +
      "' --size " + p.size + " --frames " + std::to_string(p.frames) +
      " --fps " + std::to_string(p.fps) + " --cells --cast '" + cast +
      "' --out '" + dir + "'" + (*p.keys ? std::string(" --keys ") + p.keys : "") +
      " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::istringstream lines(ReadFile(cast));
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("{\"version\": 2, \"width\": " + std::to_string(p.cols) +
                           ", \"height\": " + std::to_string(p.rows) +
                           ", ",
                       0),
            0u)
      << line;
  EXPECT_NE(line.find("\"theme\": {\"fg\": \"#"), std::string::npos) << line;
  std::vector<CastEvent> events;
  for (CastEvent event; std::getline(lines, line);) {
    ASSERT_TRUE(ParseEvent(line, &event)) << line;
    events.push_back(event);
  }
  ASSERT_FALSE(events.empty());

  Emulator terminal(p.cols, p.rows);
  size_t next = 0;
  for (int k = 0; k < p.frames; ++k) {
    // The event of presentation k is written at exactly k / fps seconds,
    // rounded to the microsecond.
    char when[32];
    const int64_t us = (int64_t(k) * 2000000 + p.fps) / (2 * int64_t(p.fps));
    std::snprintf(when, sizeof when, "%lld.%06lld",
                  static_cast<long long>(us / 1000000),
                  static_cast<long long>(us % 1000000));
    if (next < events.size() && events[next].time == when) {
      terminal.Play(events[next++].bytes);
      if (HasFatalFailure()) return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/cells-%06d.txt", k);
    std::string want = ReadFile(dir + name), shown;
    for (int r = 0; r < p.rows; ++r) shown += terminal.Row(r) + "\n";
    ASSERT_EQ(shown, want) << "presentation " << k;
  }
  EXPECT_EQ(next, events.size())
      << "event " << next << " at " << events[next].time
      << " s is at no presentation's time";
  std::system(("rm -rf '" + dir + "'").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Capture, TermCastTest,
    ::testing::Values(
        CastCase{"BothScenesAt80x60And30Fps", "640x480", 80, 60, 1000, 30, ""},
        CastCase{"SceneSwitchesAt40x25And7Fps", "320x200", 40, 25, 700, 7,
                 "450:space,520:space"}),
    [](const ::testing::TestParamInfo<CastCase>& info) {
      return std::string(info.param.name);
    });

TEST(TermCast, AThousandPresentationsAt80x60TakeAtMostOneAndAHalfMegabytes) {
  const std::string capture = INTRO_BINARY_DIR "/bin/intro-capture";
  if (!INTRO_HAVE_CAPTURE)
    GTEST_SKIP() << "intro-capture is not built (INTRO_SDL=OFF)";
  ASSERT_EQ(access(capture.c_str(), X_OK), 0) << capture;
  const std::string cast = "/tmp/term-cast-size-" + std::to_string(getpid());
  const std::string command = "cd '" INTRO_SOURCE_DIR
                              "/data' && SDL_VIDEODRIVER=dummy '" +
                              capture + "' --cast '" + cast +
                              "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(cast.c_str(), &st), 0);
  EXPECT_LE(st.st_size, 1500000);
  EXPECT_GT(st.st_size, 100000) << "too small to hold both scenes";
  unlink(cast.c_str());
}

}  // namespace
