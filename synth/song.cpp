// The song file: its parser, which names the line and column of the first
// fault it finds, and its loader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "common/descriptor_internal.h"
#include "common/input_file.h"
#include "synth/synth_internal.h"

namespace {

using synth::Cell;
using synth::Instrument;
using synth::SongData;
using synth::Wave;

constexpr int32_t kMaxInstruments = 64;
constexpr int32_t kMaxPatterns = 1024;
constexpr int32_t kMaxPositions = 1024;
constexpr size_t kMaxName = 16;
constexpr int32_t kMaxMilliseconds = 10000;
constexpr int32_t kFramesPerMillisecond = SYNTH_RATE / 1000;
constexpr char kEffects[] = "AVUDCM";

struct Token {
  std::string_view text;
  int32_t column;  // 1-based
};

struct Range {
  int32_t low, high;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool AllOf(std::string_view text, char c) {
  if (text.empty()) return false;
  for (char t : text)
    if (t != c) return false;
  return true;
}

bool IsName(std::string_view text) {
  if (text.empty() || text.size() > kMaxName) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

// A decimal whole number with an optional sign, or false when text is none or
// has more than seven digits.
bool ParseNumber(std::string_view text, int32_t* value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size() || text.size() - i > 7) return false;
  int32_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = negative ? -v : v;
  return true;
}

// The note number (1 + octave * 12 + step) of "C-4" or "C#4", or 0.
uint8_t ParseNote(std::string_view text) {
  static constexpr int8_t kSteps[7] = {9, 11, 0, 2, 4, 5, 7};  // A .. G
  if (text.size() != 3 || text[0] < 'A' || text[0] > 'G') return 0;
  if (text[2] < '0' || text[2] > '9') return 0;
  int32_t step = kSteps[text[0] - 'A'];
  if (text[1] == '#') {
    if (step == 4 || step == 11) return 0;  // no E# or B#
    ++step;
  } else if (text[1] != '-') {
    return 0;
  }
  return static_cast<uint8_t>(1 + (text[2] - '0') * 12 + step);
}

class Parser {
 public:
  Parser(const char* fileName, char* error, size_t errorSize)
      : fileName_(fileName ? fileName : "song"),
        error_(error),
        errorSize_(errorSize) {}

  bool Parse(const char* text, SongData* song);

 private:
  bool Line(const std::vector<Token>& tokens);
  bool Setting(const std::vector<Token>& tokens, const char* what, Range range,
               int32_t* value);
  // The name on a line that defines a new instrument or pattern (what):
  // there, well formed, not defined before (find) and within most of them.
  // False after the failure.
  bool NewName(const std::vector<Token>& tokens, const char* what,
               int32_t (Parser::*find)(std::string_view) const, int32_t count,
               int32_t most);
  bool InstrumentLine(const std::vector<Token>& tokens);
  bool InstrumentSetting(const Token& token, Instrument* instrument);
  bool PatternLine(const std::vector<Token>& tokens);
  bool EndPattern();
  bool Row(const std::vector<Token>& tokens);
  bool OrderLine(const std::vector<Token>& tokens);
  int32_t FindInstrument(std::string_view name) const;
  int32_t FindPattern(std::string_view name) const;

  // Writes "file:line:column: " and the message to the error buffer; false.
  bool Fail(int32_t column, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  const char* fileName_;
  char* error_;
  size_t errorSize_;
  SongData* song_ = nullptr;
  int32_t line_ = 0;
  int32_t pattern_ = -1;  // the pattern whose rows come, or -1
  int32_t patternLine_ = 0;
  int32_t patternRows_ = 0;
};

bool Parser::Fail(int32_t column, const char* format, ...) {
  if (!error_ || errorSize_ == 0) return false;
  int n = std::snprintf(error_, errorSize_, "%s:%d:%d: ", fileName_, line_,
                        column);
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) < errorSize_) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(error_ + n, errorSize_ - static_cast<size_t>(n), format,
                   args);
    va_end(args);
  }
  return false;
}

bool Parser::Parse(const char* text, SongData* song) {
  song_ = song;
  std::vector<Token> tokens;
  const char* p = text;
  while (*p) {
    ++line_;
    const char* start = p;
    tokens.clear();
    // A '#' that starts a token starts a comment; inside one ("C#4") it is
    // part of the token.
    while (*p && *p != '\n' && *p != '#') {
      if (IsSpace(*p)) {
        ++p;
        continue;
      }
      const char* begin = p;
      while (*p && *p != '\n' && !IsSpace(*p)) ++p;
      tokens.push_back({std::string_view(begin, static_cast<size_t>(p - begin)),
                        static_cast<int32_t>(begin - start) + 1});
    }
    while (*p && *p != '\n') ++p;  // the comment
    if (*p == '\n') ++p;
    if (!tokens.empty() && !Line(tokens)) return false;
  }
  if (line_ == 0) line_ = 1;
  if (!EndPattern()) return false;
  if (song_->order.empty())
    return Fail(1, "the song has no order line, so it would play nothing");
  return true;
}

bool Parser::Line(const std::vector<Token>& tokens) {
  const std::string_view word = tokens[0].text;
  if (word == "tempo") return Setting(tokens, "tempo", {32, 300}, &song_->tempo);
  if (word == "speed") return Setting(tokens, "speed", {1, 32}, &song_->speed);
  if (word == "rows") {
    if (!song_->patternNames.empty())
      return Fail(tokens[0].column, "rows must come before the first pattern");
    return Setting(tokens, "rows", {1, 256}, &song_->rows);
  }
  if (word == "instrument") return InstrumentLine(tokens);
  if (word == "pattern") return PatternLine(tokens);
  if (word == "order") return OrderLine(tokens);
  if (pattern_ >= 0) return Row(tokens);
  if (ParseNote(word) || AllOf(word, '-') || word == "off")
    return Fail(tokens[0].column, "a row outside a pattern");
  return Fail(tokens[0].column, "unknown keyword \"%.*s\"",
              static_cast<int>(word.size()), word.data());
}

bool Parser::Setting(const std::vector<Token>& tokens, const char* what,
                     Range range, int32_t* value) {
  if (!EndPattern()) return false;
  int32_t v = 0;
  if (tokens.size() < 2 || !ParseNumber(tokens[1].text, &v) ||
      v < range.low || v > range.high) {
    const int32_t column =
        tokens.size() < 2
            ? tokens[0].column + static_cast<int32_t>(tokens[0].text.size())
            : tokens[1].column;
    return Fail(column, "%s takes a whole number from %d to %d", what,
                range.low, range.high);
  }
  if (tokens.size() > 2)
    return Fail(tokens[2].column, "text after the %s", what);
  *value = v;
  return true;
}

int32_t Parser::FindInstrument(std::string_view name) const {
  for (size_t i = 0; i < song_->instruments.size(); ++i)
    if (song_->instruments[i].name == name) return static_cast<int32_t>(i);
  return -1;
}

int32_t Parser::FindPattern(std::string_view name) const {
  for (size_t i = 0; i < song_->patternNames.size(); ++i)
    if (song_->patternNames[i] == name) return static_cast<int32_t>(i);
  return -1;
}

bool Parser::NewName(const std::vector<Token>& tokens, const char* what,
                     int32_t (Parser::*find)(std::string_view) const,
                     int32_t count, int32_t most) {
  if (tokens.size() < 2)
    return Fail(tokens[0].column + static_cast<int32_t>(std::strlen(what)),
                "%s needs a name", what);
  const Token& name = tokens[1];
  if (!IsName(name.text))
    return Fail(name.column,
                "bad name \"%.*s\": letters, digits and _, at most 16, "
                "not starting with a digit",
                static_cast<int>(name.text.size()), name.text.data());
  if ((this->*find)(name.text) >= 0)
    return Fail(name.column, "%s \"%.*s\" is defined twice", what,
                static_cast<int>(name.text.size()), name.text.data());
  if (count >= most) return Fail(name.column, "more than %d %ss", most, what);
  return true;
}

bool Parser::InstrumentLine(const std::vector<Token>& tokens) {
  if (!EndPattern()) return false;
  if (!NewName(tokens, "instrument", &Parser::FindInstrument,
               static_cast<int32_t>(song_->instruments.size()),
               kMaxInstruments))
    return false;
  const Token& name = tokens[1];
  Instrument instrument;
  instrument.name = std::string(name.text);
  for (size_t i = 2; i < tokens.size(); ++i)
    if (!InstrumentSetting(tokens[i], &instrument)) return false;
  song_->instruments.push_back(std::move(instrument));
  return true;
}

bool Parser::InstrumentSetting(const Token& token, Instrument* instrument) {
  const size_t equals = token.text.find('=');
  if (equals == std::string_view::npos)
    return Fail(token.column, "expected setting=value, found \"%.*s\"",
                static_cast<int>(token.text.size()), token.text.data());
  const std::string_view key = token.text.substr(0, equals);
  const std::string_view value = token.text.substr(equals + 1);
  const int32_t column = token.column + static_cast<int32_t>(equals) + 1;
  if (key == "wave") {
    if (value == "pulse") {
      instrument->wave = Wave::kPulse;
    } else if (value == "triangle") {
      instrument->wave = Wave::kTriangle;
    } else if (value == "saw") {
      instrument->wave = Wave::kSaw;
    } else if (value == "noise") {
      instrument->wave = Wave::kNoise;
    } else {
      return Fail(column, "wave is pulse, triangle, saw or noise");
    }
    return true;
  }
  struct Key {
    const char* name;
    Range range;
  };
  static constexpr Key kKeys[] = {
      {"duty", {1, 99}},          {"attack", {0, kMaxMilliseconds}},
      {"decay", {0, kMaxMilliseconds}}, {"sustain", {0, 100}},
      {"release", {0, kMaxMilliseconds}}, {"volume", {0, 100}},
      {"pan", {-100, 100}},       {"sweep", {-2000, 2000}},
  };
  for (const Key& k : kKeys) {
    if (key != k.name) continue;
    int32_t v = 0;
    if (!ParseNumber(value, &v) || v < k.range.low || v > k.range.high)
      return Fail(column, "%s takes a whole number from %d to %d", k.name,
                  k.range.low, k.range.high);
    if (key == "duty") {
      instrument->duty =
          static_cast<uint32_t>((static_cast<uint64_t>(v) << 32) / 100);
    } else if (key == "attack") {
      instrument->attack = v * kFramesPerMillisecond;
    } else if (key == "decay") {
      instrument->decay = v * kFramesPerMillisecond;
    } else if (key == "release") {
      instrument->release = v * kFramesPerMillisecond;
    } else if (key == "sustain") {
      instrument->sustain = v * 256 / 100;
    } else if (key == "volume") {
      instrument->volume = v * 256 / 100;
    } else if (key == "pan") {
      instrument->pan = v * 256 / 100;
    } else {
      instrument->sweep = v;
    }
    return true;
  }
  return Fail(token.column, "unknown instrument setting \"%.*s\"",
              static_cast<int>(key.size()), key.data());
}

bool Parser::PatternLine(const std::vector<Token>& tokens) {
  if (!EndPattern()) return false;
  if (!NewName(tokens, "pattern", &Parser::FindPattern,
               static_cast<int32_t>(song_->patternNames.size()), kMaxPatterns))
    return false;
  const Token& name = tokens[1];
  if (tokens.size() > 2)
    return Fail(tokens[2].column, "text after the pattern's name");
  song_->patternNames.emplace_back(name.text);
  song_->cells.resize(song_->patternNames.size() *
                      static_cast<size_t>(song_->rows));
  pattern_ = static_cast<int32_t>(song_->patternNames.size()) - 1;
  patternLine_ = line_;
  patternRows_ = 0;
  return true;
}

// A pattern ends at the next keyword or at the end of the text; it must have
// had all its rows.
bool Parser::EndPattern() {
  if (pattern_ < 0) return true;
  const int32_t rows = patternRows_;
  const int32_t pattern = pattern_;
  pattern_ = -1;
  if (rows == song_->rows) return true;
  const std::string& name = song_->patternNames[static_cast<size_t>(pattern)];
  line_ = patternLine_;
  return Fail(9, "pattern \"%s\" has %d rows, not %d", name.c_str(), rows,
              song_->rows);
}

bool Parser::Row(const std::vector<Token>& tokens) {
  if (patternRows_ == song_->rows)
    return Fail(tokens[0].column, "pattern \"%s\" has more than %d rows",
                song_->patternNames[static_cast<size_t>(pattern_)].c_str(),
                song_->rows);
  Cell cell;
  const std::string_view note = tokens[0].text;
  if (note == "off" || note == "===") {
    cell.note = synth::kNoteOff;
  } else if (!AllOf(note, '-')) {
    cell.note = ParseNote(note);
    if (cell.note == synth::kNoNote)
      return Fail(tokens[0].column,
                  "bad note \"%.*s\": write C-4, C#4, --- or off",
                  static_cast<int>(note.size()), note.data());
  }
  if (tokens.size() > 1 && !AllOf(tokens[1].text, '.')) {
    const int32_t index = FindInstrument(tokens[1].text);
    if (index < 0)
      return Fail(tokens[1].column, "unknown instrument \"%.*s\"",
                  static_cast<int>(tokens[1].text.size()),
                  tokens[1].text.data());
    cell.instrument = static_cast<uint8_t>(index + 1);
  }
  if (tokens.size() > 2 && !AllOf(tokens[2].text, '.')) {
    const std::string_view effect = tokens[2].text;
    const bool known = effect.size() == 3 && effect[0] != '\0' &&
                       std::strchr(kEffects, effect[0]) != nullptr &&
                       HexDigit(effect[1]) >= 0 && HexDigit(effect[2]) >= 0;
    if (!known)
      return Fail(tokens[2].column,
                  "bad effect \"%.*s\": write A, V, U, D, C or M and two hex "
                  "digits",
                  static_cast<int>(effect.size()), effect.data());
    cell.effect = effect[0];
    cell.param = static_cast<uint8_t>(HexDigit(effect[1]) * 16 +
                                      HexDigit(effect[2]));
  }
  if (tokens.size() > 3) return Fail(tokens[3].column, "text after the effect");
  song_->cells[static_cast<size_t>(pattern_ * song_->rows + patternRows_)] =
      cell;
  ++patternRows_;
  return true;
}

bool Parser::OrderLine(const std::vector<Token>& tokens) {
  if (!EndPattern()) return false;
  const int32_t width = static_cast<int32_t>(tokens.size()) - 1;
  if (width == 0)
    return Fail(tokens[0].column + 5, "order needs a pattern for each channel");
  if (width > SYNTH_MAX_VOICES)
    return Fail(tokens[SYNTH_MAX_VOICES + 1].column,
                "more than %d channels", SYNTH_MAX_VOICES);
  if (song_->voices == 0) song_->voices = width;
  if (width != song_->voices)
    return Fail(tokens[0].column,
                "order line of %d channels; the first one had %d", width,
                song_->voices);
  if (static_cast<int32_t>(song_->order.size()) >=
      kMaxPositions * song_->voices)
    return Fail(tokens[0].column, "more than %d order lines", kMaxPositions);
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::string_view name = tokens[i].text;
    if (AllOf(name, '-')) {
      song_->order.push_back(synth::kNoPattern);
      continue;
    }
    const int32_t index = FindPattern(name);
    if (index < 0)
      return Fail(tokens[i].column, "unknown pattern \"%.*s\"",
                  static_cast<int>(name.size()), name.data());
    song_->order.push_back(static_cast<int16_t>(index));
  }
  return true;
}


void Report(char* error, size_t errorSize, const char* path,
            const char* reason) {
  if (error && errorSize > 0)
    std::snprintf(error, errorSize, "%s: %s", path, reason);
}

}  // namespace

Song* SONGParse(const char* text, const char* fileName, char* error,
                size_t errorSize) {
  if (error && errorSize > 0) error[0] = '\0';
  if (!text) {
    Report(error, errorSize, fileName ? fileName : "song", "no text");
    return nullptr;
  }
  try {
    auto song = std::make_unique<Song>();
    Parser parser(fileName, error, errorSize);
    if (!parser.Parse(text, &song->data)) return nullptr;
    return song.release();
  } catch (const std::bad_alloc&) {
    Report(error, errorSize, fileName ? fileName : "song", "out of memory");
    return nullptr;
  }
}

Song* SONGLoad(const char* path, char* error, size_t errorSize) {
  if (error && errorSize > 0) error[0] = '\0';
  if (!path) {
    Report(error, errorSize, "song", "no file name");
    return nullptr;
  }
  struct stat st;
  const char* reason = nullptr;
  intro::Descriptor fd(intro::OpenRegularFile(path, &st, &reason));
  if (fd.get() < 0) {
    Report(error, errorSize, path, reason);
    return nullptr;
  }
  if (st.st_size > static_cast<off_t>(SONG_MAX_BYTES)) {
    Report(error, errorSize, path, "it is larger than the 1 MiB a song may be");
    return nullptr;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + 1]());
  if (!text) {
    Report(error, errorSize, path, "out of memory");
    return nullptr;
  }
  size_t got = 0;
  while (got < size) {  // a file that shrank since fstat ends early
    const ssize_t n = read(fd.get(), text.get() + got, size - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Report(error, errorSize, path, std::strerror(errno));
      return nullptr;
    }
    got += static_cast<size_t>(n);
  }
  if (std::memchr(text.get(), '\0', got)) {
    Report(error, errorSize, path, "it holds a zero byte; a song is text");
    return nullptr;
  }
  return SONGParse(text.get(), path, error, errorSize);
}

void SONGFree(Song** song) {
  if (!song) return;
  delete *song;
  *song = nullptr;
}

int64_t SONGLength(const Song* song) {
  if (!song || song->data.voices == 0) return 0;
  const SongData& s = song->data;
  const int64_t positions =
      static_cast<int64_t>(s.order.size()) / s.voices;
  return positions * s.rows * s.speed * synth::FramesPerTick(s);
}

int32_t SONGVoices(const Song* song) { return song ? song->data.voices : 0; }
