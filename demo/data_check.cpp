// The data files' rules: one per kind, used by the intro, its live reload and
// `tandrix check` alike.
#include "demo/data_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/descriptor_internal.h"
#include "common/input_file.h"
#include "demo/demo.h"
#include "synth/synth.h"

namespace {

using intro::Descriptor;

constexpr int32_t kCell = 8;
// Past this many problems in one file the rest are summed up in one line.
constexpr int32_t kProblemsPerFile = 20;

// One kind's rule: what the file is called in the problems, how many bytes it
// may hold (-1: any, only the first DEMO_FRAME_TEXT_MAX bytes are read) and
// the check of its bytes. Adding a kind of file is one entry here.
struct Rule;
using TextCheck = void (*)(const Rule& rule, class Checker& checker);
struct Rule {
  DemoDataKind kind;
  const char* noun;
  int64_t maxBytes;
  TextCheck check;
};

// Collects the problems of one file.
class Checker {
 public:
  Checker(const char* file, const char* bytes, size_t size,
          const DemoCheckContext& context, DemoReport* report)
      : file_(file),
        bytes(bytes),
        size(size),
        context(context),
        report_(report) {}

  void Error(int32_t line, int32_t column, const std::string& what) {
    Add(line, column, false, what);
  }
  void Warning(int32_t line, int32_t column, const std::string& what) {
    Add(line, column, true, what);
  }
  bool failed() const { return errors_ > 0; }

  const char* const file_;
  const char* const bytes;
  const size_t size;
  const DemoCheckContext& context;

 private:
  void Add(int32_t line, int32_t column, bool warning,
           const std::string& what) {
    errors_ += !warning;
    if (!report_) return;
    try {
      if (shown_ < kProblemsPerFile) {
        report_->problems.push_back({file_, line, column, warning, what});
        ++(warning ? report_->warnings : report_->errors);
      } else if (shown_ == kProblemsPerFile) {
        report_->problems.push_back(
            {file_, 0, 0, false, "more problems follow; mend these first"});
        ++report_->errors;
      }
      ++shown_;
    } catch (const std::bad_alloc&) {
      report_->outOfMemory = true;
      if (!warning) ++report_->errors;
    }
  }

  DemoReport* report_;
  int32_t errors_ = 0;
  int32_t shown_ = 0;
};

// "'x'" for a printable code, "0x09" for any other byte.
std::string Shown(unsigned char c) {
  char text[8];
  if (c >= 32 && c < 127)
    std::snprintf(text, sizeof text, "'%c'", c);
  else
    std::snprintf(text, sizeof text, "0x%02X", c);
  return text;
}

// The report of a byte that a message or logo may not hold.
std::string Unprintable(unsigned char c, const char* noun) {
  if (c == '\r')
    return "a carriage return (0x0D): save the " + std::string(noun) +
           " with plain '\\n' line ends";
  if (c == '\t')
    return "a tab (0x09): the " + std::string(noun) +
           " takes printable characters only; use blanks";
  if (c < 32 || c == 127)
    return "a control character (" + Shown(c) + "): the " + noun +
           " takes printable characters only";
  return "the byte " + Shown(c) + " is no printable ASCII character (32 to " +
         "126), which are all the font draws";
}

// One warning for each character other than the blank that the font draws
// blank, at its first place.
void WarnBlankGlyphs(Checker& checker, const char* noun) {
  const Image* glyphs = checker.context.glyphs;
  if (!glyphs) return;
  bool seen[128] = {};
  int32_t line = 1, column = 0;
  for (size_t i = 0; i < checker.size; ++i) {
    const unsigned char c = static_cast<unsigned char>(checker.bytes[i]);
    if (c == '\n') {
      ++line;
      column = 0;
      continue;
    }
    ++column;
    if (c <= 32 || c >= 127 || seen[c]) continue;
    seen[c] = true;
    if (DEMOGlyphBlank(glyphs, c))
      checker.Warning(line, column,
                      "the font draws " + Shown(c) +
                          " blank: it shows as a "
                          "gap in the " +
                          noun);
  }
}

void CheckNothing(const Rule&, Checker&) {}

void CheckMessage(const Rule& rule, Checker& checker) {
  size_t end = checker.size;
  if (end > 0 && checker.bytes[end - 1] == '\n') --end;  // the line's end
  if (end == 0) {
    checker.Error(0, 0, "the message is empty; it takes one line of text");
    return;
  }
  int32_t line = 1, column = 0;
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(checker.bytes[i]);
    ++column;
    if (c == '\n') {
      checker.Error(line, column,
                    "a line break: the message is one line (join the lines "
                    "with blanks)");
      ++line;
      column = 0;
    } else if (c < 32 || c >= 127) {
      checker.Error(line, column, Unprintable(c, rule.noun));
    }
  }
  WarnBlankGlyphs(checker, rule.noun);
}

void CheckLogo(const Rule& rule, Checker& checker) {
  if (checker.size == 0) {
    checker.Error(0, 0, "the logo is empty; it takes five rows");
    return;
  }
  int32_t row = 1, width = 0;
  for (size_t i = 0; i < checker.size; ++i) {
    const unsigned char c = static_cast<unsigned char>(checker.bytes[i]);
    if (c == '\n') {
      if (width > DEMO_LOGO_MAX_WIDTH)
        checker.Error(row, DEMO_LOGO_MAX_WIDTH + 1,
                      "the row is " + std::to_string(width) +
                          " characters wide; the logo takes at most " +
                          std::to_string(DEMO_LOGO_MAX_WIDTH));
      ++row;
      width = 0;
      continue;
    }
    ++width;
    if (row > DEMO_LOGO_ROWS && width == 1)
      checker.Error(row, 1, "a row too many: the logo takes five rows");
    if (c < 32 || c >= 127)
      checker.Error(row, width, Unprintable(c, rule.noun));
  }
  if (width > DEMO_LOGO_MAX_WIDTH)
    checker.Error(row, DEMO_LOGO_MAX_WIDTH + 1,
                  "the row is " + std::to_string(width) +
                      " characters wide; the logo takes at most " +
                      std::to_string(DEMO_LOGO_MAX_WIDTH));
  // A last row without its '\n' still counts; after a '\n' nothing does.
  const int32_t rows = width > 0 ? row : row - 1;
  if (rows < DEMO_LOGO_ROWS)
    checker.Error(rows, 1,
                  "the logo ends after " + std::to_string(rows) +
                      (rows == 1 ? " row" : " rows") + "; it takes five");
  WarnBlankGlyphs(checker, rule.noun);
}

void CheckRunner(const Rule&, Checker& checker) {
  const size_t shown = std::min<size_t>(checker.size, DEMO_FRAME_TEXT_MAX);
  // The intro prints a frame up to its first zero byte.
  const size_t end =
      std::find(checker.bytes, checker.bytes + shown, '\0') - checker.bytes;
  const int32_t rows = checker.context.runnerRows;
  const int32_t cols = checker.context.runnerCols;
  int32_t line = 1, width = 0;
  bool shortLine = false;
  for (size_t i = 0; i < end && line <= rows; ++i) {
    if (checker.bytes[i] != '\n') {
      ++width;
      continue;
    }
    if (width < cols && !shortLine) {
      checker.Error(line, width + 1,
                    "the line is " + std::to_string(width) +
                        " characters wide; every frame covers the first "
                        "frame's " +
                        std::to_string(cols) +
                        " columns, or pieces of the frame before it show");
      shortLine = true;  // one is enough to say it
    }
    ++line;
    width = 0;
  }
  if (line <= rows)
    checker.Error(line, width + 1,
                  "the frame ends after " + std::to_string(line - 1) +
                      " lines; every frame covers the first frame's " +
                      std::to_string(rows) +
                      " lines, or pieces of the frame before it show");
  if (checker.size > static_cast<size_t>(DEMO_FRAME_TEXT_MAX)) {
    int32_t l = 1, c = 1;
    for (int32_t i = 0; i < DEMO_FRAME_TEXT_MAX; ++i) {
      if (checker.bytes[i] == '\n') {
        ++l;
        c = 1;
      } else {
        ++c;
      }
    }
    checker.Warning(l, c,
                    "the intro shows only the first " +
                        std::to_string(DEMO_FRAME_TEXT_MAX) +
                        " bytes of a frame; from here on nothing is shown");
  }
}

// The song is checked by the synthesizer's own parser, which names the line
// and column of the first problem.
void CheckSong(const Rule&, Checker& checker) {
  const std::string text(checker.bytes, checker.size);
  char error[256] = "";
  Song* song = SONGParse(text.c_str(), checker.file_, error, sizeof error);
  if (song) {
    SONGFree(&song);
    return;
  }
  // "FILE:LINE:COLUMN: WHAT", or "FILE: WHAT" for the whole file.
  const size_t skip = std::strlen(checker.file_);
  const char* rest = std::strncmp(error, checker.file_, skip) == 0 &&
                             error[skip] == ':'
                         ? error + skip + 1
                         : error;
  int line = 0, column = 0, used = 0;
  if (std::sscanf(rest, "%d:%d: %n", &line, &column, &used) == 2 && used > 0)
    checker.Error(line, column, rest + used);
  else
    checker.Error(0, 0, rest[0] == ' ' ? rest + 1 : rest);
}

constexpr Rule kRules[] = {
    {DemoDataKind::Font, "glyph sheet", DEMO_TEXT_MAX_BYTES, CheckNothing},
    {DemoDataKind::Map, "map", DEMO_TEXT_MAX_BYTES, CheckNothing},
    {DemoDataKind::Runner, "running-man frame", -1, CheckRunner},
    {DemoDataKind::Message, "message", 64 * 1024, CheckMessage},
    {DemoDataKind::Logo, "logo", 1024, CheckLogo},
    {DemoDataKind::Song, "song", static_cast<int64_t>(SONG_MAX_BYTES),
     CheckSong},
};

const Rule& RuleOf(DemoDataKind kind) {
  for (const Rule& rule : kRules)
    if (rule.kind == kind) return rule;
  return kRules[0];
}


// Adds a problem of the whole file.
void Whole(DemoReport* report, const char* file, const std::string& what) {
  if (!report) return;
  ++report->errors;
  try {
    report->problems.push_back({file, 0, 0, false, what});
  } catch (const std::bad_alloc&) {
    report->outOfMemory = true;
  }
}

// Reads path whole into *bytes when it is a regular file of at most
// rule.maxBytes (the first DEMO_FRAME_TEXT_MAX bytes for a runner frame, with
// one more to know that there are more). False after reporting why not, or,
// with *absent set and nothing reported, when an optional file is not there.
bool ReadFile(const DemoDataFile& file, const Rule& rule, const char* path,
              std::string* bytes, bool* absent, DemoReport* report) {
  *absent = false;
  struct stat st;
  const char* reason = nullptr;
  Descriptor fd(DEMOOpenDataFile(path, &st, &reason));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      *absent = file.optional;
      if (!file.optional)
        Whole(report, path, std::string("the ") + rule.noun + " is missing");
      return false;
    }
    if (reason == DEMO_OUT_OF_MEMORY && report) report->outOfMemory = true;
    Whole(report, path, std::string("cannot read it: ") + reason);
    return false;
  }
  if (rule.maxBytes >= 0 && st.st_size > rule.maxBytes) {
    Whole(report, path,
          "the file is " + std::to_string(st.st_size) + " bytes; a " +
              rule.noun + " holds at most " + std::to_string(rule.maxBytes));
    return false;
  }
  const size_t want = rule.maxBytes >= 0
                          ? static_cast<size_t>(st.st_size)
                          : static_cast<size_t>(DEMO_FRAME_TEXT_MAX) + 1;
  try {
    bytes->resize(want);
  } catch (const std::bad_alloc&) {
    if (report) report->outOfMemory = true;
    Whole(report, path, DEMO_OUT_OF_MEMORY);
    return false;
  }
  size_t got = 0;
  while (got < want) {
    ssize_t n = read(fd.get(), bytes->data() + got, want - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Whole(report, path,
            std::string("cannot read it: ") + std::strerror(errno));
      return false;
    }
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);  // a file that shrank since fstat ends where it ends
  return true;
}

// The zero-terminated copy of bytes the intro uses: a runner frame in a
// buffer of DEMO_FRAME_TEXT_MAX + 1 bytes, a logo with its rows padded to the
// widest, a message without the line break that may end it, a map as it is.
char* Usable(DemoDataKind kind, const std::string& bytes) {
  if (kind == DemoDataKind::Runner) {
    auto* text = new (std::nothrow) char[DEMO_FRAME_TEXT_MAX + 1]();
    if (text)
      std::memcpy(text, bytes.data(),
                  std::min<size_t>(bytes.size(), DEMO_FRAME_TEXT_MAX));
    return text;
  }
  if (kind != DemoDataKind::Logo) {
    size_t size = bytes.size();
    // The line break that ends the message's one line is no character of it.
    if (kind == DemoDataKind::Message && size > 0 && bytes[size - 1] == '\n')
      --size;
    auto* text = new (std::nothrow) char[size + 1]();
    if (text) std::memcpy(text, bytes.data(), size);
    return text;
  }
  int32_t widest = 0, width = 0;
  for (char c : bytes) {
    width = c == '\n' ? 0 : width + 1;
    widest = std::max(widest, width);
  }
  const size_t size = static_cast<size_t>(DEMO_LOGO_ROWS) * (widest + 1);
  auto* text = new (std::nothrow) char[size + 1]();
  if (!text) return nullptr;
  std::memset(text, ' ', size);
  size_t at = 0;
  for (int32_t row = 0; row < DEMO_LOGO_ROWS; ++row) {
    char* line = text + row * (widest + 1);
    for (; at < bytes.size() && bytes[at] != '\n'; ++at) *line++ = bytes[at];
    ++at;
    text[row * (widest + 1) + widest] = '\n';
  }
  return text;
}

}  // namespace

std::string DEMOProblemLine(const DemoProblem& problem) {
  std::string line = problem.file;
  if (problem.line > 0) {
    line += ':';
    line += std::to_string(problem.line);
    line += ':';
    line += std::to_string(problem.column);
  }
  line += problem.warning ? ": warning: " : ": error: ";
  return line + problem.what;
}

bool DEMOCheckText(DemoDataKind kind, const char* file, const char* bytes,
                   size_t size, const DemoCheckContext& context,
                   DemoReport* report) {
  const Rule& rule = RuleOf(kind);
  DemoCheckContext own = context;
  if (kind == DemoDataKind::Runner && own.runnerRows == 0) {
    std::string text(bytes, std::min<size_t>(size, DEMO_FRAME_TEXT_MAX));
    DEMORunnerBox(text.c_str(), &own);
  }
  Checker checker(file, bytes, size, own, report);
  rule.check(rule, checker);
  return !checker.failed();
}

bool DEMOCheckSheet(const char* file, const Image* sheet, DemoReport* report) {
  if (sheet && sheet->width > 0 && sheet->height > 0 &&
      sheet->width % kCell == 0 && sheet->height % kCell == 0)
    return true;
  Whole(report, file,
        "the sheet is " + std::to_string(sheet ? sheet->width : 0) + "x" +
            std::to_string(sheet ? sheet->height : 0) +
            " pixels; a glyph sheet is a grid of 8x8 glyphs (both sides "
            "multiples of 8)");
  return false;
}

bool DEMOGlyphBlank(const Image* sheet, int32_t code) {
  if (!sheet || sheet->width < kCell || code < 0) return true;
  // The font's own layout (font/font.h), in 64 bits.
  const int64_t x = (int64_t(code) * kCell) % sheet->width;
  const int64_t y = (int64_t(code) * kCell) / sheet->width * kCell;
  if (x + kCell > sheet->width || y + kCell > sheet->height) return true;
  for (int64_t r = y; r < y + kCell; ++r)
    for (int64_t c = x; c < x + kCell; ++c)
      if (sheet->pixels[r * sheet->width + c] != 0) return false;
  return true;
}

void DEMORunnerBox(const char* text, DemoCheckContext* context) {
  int32_t rows = 0, cols = 0, width = 0;
  for (int32_t i = 0; text && i < DEMO_FRAME_TEXT_MAX && text[i]; ++i) {
    if (text[i] == '\n') {
      ++rows;
      cols = std::max(cols, width);
      width = 0;
    } else {
      ++width;
    }
  }
  context->runnerRows = rows;
  context->runnerCols = cols;
}

int DEMOOpenDataFile(const char* path, struct stat* st, const char** reason) {
  const int fd = intro::OpenRegularFile(path, st, reason);
  if (fd < 0 && errno == ENOMEM) *reason = DEMO_OUT_OF_MEMORY;
  return fd;
}

char* DEMOLoadChecked(const DemoDataFile& file, const char* path,
                      const DemoCheckContext& context, DemoReport* report) {
  const Rule& rule = RuleOf(file.kind);
  std::string bytes;
  bool absent = false;
  if (!ReadFile(file, rule, path, &bytes, &absent, report)) return nullptr;
  if (!DEMOCheckText(file.kind, path, bytes.data(), bytes.size(), context,
                     report))
    return nullptr;
  char* text = Usable(file.kind, bytes);
  if (!text) {
    if (report) report->outOfMemory = true;
    Whole(report, path, DEMO_OUT_OF_MEMORY);
  }
  return text;
}

Image* DEMOLoadSheet(const char* path, DemoReport* report) {
  const DemoDataFile file = {path, DemoDataKind::Font, false};
  const Rule& rule = RuleOf(DemoDataKind::Font);
  {
    struct stat st;
    const char* reason = nullptr;
    Descriptor fd(DEMOOpenDataFile(path, &st, &reason));
    if (fd.get() < 0) {
      std::string ignored;
      bool absent = false;
      ReadFile(file, rule, path, &ignored, &absent, report);  // says why
      return nullptr;
    }
    if (st.st_size > rule.maxBytes) {
      Whole(report, path,
            "the file is " + std::to_string(st.st_size) +
                " bytes; a glyph sheet holds at most " +
                std::to_string(rule.maxBytes));
      return nullptr;
    }
  }
  errno = 0;
  Image* sheet = IMGLoad(path);
  if (!sheet) {
    if (errno == ENOMEM && report) report->outOfMemory = true;
    Whole(report, path,
          errno == ENOMEM ? DEMO_OUT_OF_MEMORY
                          : "it is no PNM image that can be read");
    return nullptr;
  }
  if (!DEMOCheckSheet(path, sheet, report)) IMGFree(&sheet);
  return sheet;
}

int32_t DEMOCheckFolder(const char* dir, DemoReport* report) {
  std::string folder = dir && *dir ? dir : ".";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const int32_t before = report->errors;
  auto pathOf = [&](const char* name) { return folder + "/" + name; };
  DemoCheckContext context;
  Image* sheet = nullptr;
  try {
    for (int32_t i = 0; i < DEMO_DATA_FILE_COUNT; ++i) {
      const DemoDataFile& file = DEMO_DATA_FILES[i];
      if (file.kind == DemoDataKind::Font && !sheet)
        sheet = DEMOLoadSheet(pathOf(file.name).c_str(), report);
    }
    context.glyphs = sheet;
    for (int32_t i = 0; i < DEMO_DATA_FILE_COUNT; ++i) {
      const DemoDataFile& file = DEMO_DATA_FILES[i];
      if (file.kind == DemoDataKind::Font) continue;
      const std::string path = pathOf(file.name);
      char* text = DEMOLoadChecked(file, path.c_str(), context, report);
      // The first frame that could be read sets the box the others cover.
      if (text && file.kind == DemoDataKind::Runner && context.runnerRows == 0)
        DEMORunnerBox(text, &context);
      DEMOFreeText(text);
    }
  } catch (const std::bad_alloc&) {
    report->outOfMemory = true;
    ++report->errors;
  }
  if (sheet) IMGFree(&sheet);
  return report->errors - before;
}

int32_t DEMOLogoWidth(const char* logo) {
  int32_t widest = 0, width = 0;
  for (; logo && *logo; ++logo) {
    width = *logo == '\n' ? 0 : width + 1;
    widest = std::max(widest, width);
  }
  return widest;
}
