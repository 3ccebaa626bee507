// GLYPH: the editable text source of the 8 x 8 glyph sheet, and the sheet
// built from it. Header-only, shared by the make_font tool and the tests.
//
// Source format, one glyph after another for every code 0-127 in any order:
//
//   glyph 65 'A'      header: "glyph", blanks, the decimal code; a label may
//   ..##....          follow. Then exactly 8 rows of exactly 8 cells,
//   .####...          '#' for ink and '.' for background.
//   ...
//
// Blank lines and lines starting with ';' are comments between glyphs; inside
// a glyph every line is a row. A trailing '\r' is ignored. Every code must be
// defined exactly once.
//
// The sheet is 128 x 64 pixels, 16 glyphs to a row in code order (code c at
// x = (c % 16) * 8, y = (c / 16) * 8): ink pixels hold the ink colour,
// background pixels 0, which the font never draws.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "img/img.h"

inline constexpr int GLYPH_COUNT = 128;
inline constexpr int GLYPH_SIZE = 8;            // cells a side
inline constexpr int GLYPH_SHEET_COLUMNS = 16;  // glyphs per sheet row
inline constexpr int GLYPH_SHEET_WIDTH = GLYPH_SHEET_COLUMNS * GLYPH_SIZE;
inline constexpr int GLYPH_SHEET_HEIGHT =
    GLYPH_COUNT / GLYPH_SHEET_COLUMNS * GLYPH_SIZE;
inline constexpr uint32_t GLYPH_INK = 0xC0E0C0;  // light grey-green

// One byte per glyph row; bit 7 is the leftmost cell, a set bit is ink.
struct GlyphSet {
  std::array<std::array<uint8_t, GLYPH_SIZE>, GLYPH_COUNT> rows{};
};

namespace glyph_internal {

inline std::string LinePrefix(int line) {
  return "line " + std::to_string(line) + ": ";
}

inline bool IsComment(std::string_view line) {
  return line.empty() || line[0] == ';';
}

// The code of a header line "glyph <code>[ label]", or -1 when the line is no
// header; -2 when the code is out of range.
inline int HeaderCode(std::string_view line) {
  constexpr std::string_view kKeyword = "glyph";
  if (line.substr(0, kKeyword.size()) != kKeyword) return -1;
  size_t i = kKeyword.size();
  if (i >= line.size() || (line[i] != ' ' && line[i] != '\t')) return -1;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i >= line.size() || line[i] < '0' || line[i] > '9') return -1;
  int code = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    code = code * 10 + (line[i] - '0');
    if (code >= GLYPH_COUNT) return -2;
  }
  if (i < line.size() && line[i] != ' ' && line[i] != '\t') return -1;
  return code;
}

}  // namespace glyph_internal

// Reads a glyph source. True with every glyph in *set; false with a one-line
// message naming the line in *error, *set then partly filled.
inline bool GLYPHParse(std::string_view text, GlyphSet* set,
                       std::string* error) {
  using namespace glyph_internal;
  std::array<int, GLYPH_COUNT> definedAt{};  // header line, 0 = not yet
  int code = -1;                             // glyph being read, -1 = none
  int rowsRead = 0;
  int lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (code < 0) {
      if (IsComment(line)) continue;
      code = HeaderCode(line);
      if (code == -2) {
        *error = LinePrefix(lineNo) + "glyph code out of range 0-" +
                 std::to_string(GLYPH_COUNT - 1);
        return false;
      }
      if (code < 0) {
        *error = LinePrefix(lineNo) + "expected \"glyph <code>\"";
        return false;
      }
      if (definedAt[code]) {
        *error = LinePrefix(lineNo) + "glyph " + std::to_string(code) +
                 " defined twice (first at line " +
                 std::to_string(definedAt[code]) + ")";
        return false;
      }
      definedAt[code] = lineNo;
      rowsRead = 0;
      continue;
    }

    if (line.size() != GLYPH_SIZE) {
      *error = LinePrefix(lineNo) + "row " + std::to_string(rowsRead) +
               " of glyph " + std::to_string(code) + " has " +
               std::to_string(line.size()) + " cells, expected " +
               std::to_string(GLYPH_SIZE);
      return false;
    }
    uint8_t bits = 0;
    for (int x = 0; x < GLYPH_SIZE; ++x) {
      if (line[x] == '#') {
        bits |= uint8_t(0x80 >> x);
      } else if (line[x] != '.') {
        *error = LinePrefix(lineNo) + "glyph " + std::to_string(code) +
                 " has '" + std::string(1, line[x]) +
                 "' in a row; cells are '#' or '.'";
        return false;
      }
    }
    set->rows[code][rowsRead] = bits;
    if (++rowsRead == GLYPH_SIZE) code = -1;
  }

  if (code >= 0) {
    *error = "glyph " + std::to_string(code) + " ends after " +
             std::to_string(rowsRead) + " rows, expected " +
             std::to_string(GLYPH_SIZE);
    return false;
  }
  for (int c = 0; c < GLYPH_COUNT; ++c) {
    if (!definedAt[c]) {
      *error = "glyph " + std::to_string(c) + " is missing";
      return false;
    }
  }
  return true;
}

// The glyph sheet of set with ink pixels of value ink; a new image the caller
// frees with IMGFree, or none (reported by IMG) when it cannot be allocated.
[[nodiscard]] inline Image* GLYPHSheet(const GlyphSet& set, uint32_t ink) {
  Image* sheet = IMGNew();
  if (!sheet) return nullptr;
  IMGResize(sheet, GLYPH_SHEET_WIDTH, GLYPH_SHEET_HEIGHT);
  if (sheet->width != GLYPH_SHEET_WIDTH) {
    IMGFree(&sheet);
    return nullptr;
  }
  for (int c = 0; c < GLYPH_COUNT; ++c) {
    const int left = c % GLYPH_SHEET_COLUMNS * GLYPH_SIZE;
    const int top = c / GLYPH_SHEET_COLUMNS * GLYPH_SIZE;
    for (int y = 0; y < GLYPH_SIZE; ++y) {
      uint32_t* row = sheet->pixels + (top + y) * GLYPH_SHEET_WIDTH + left;
      for (int x = 0; x < GLYPH_SIZE; ++x)
        row[x] = (set.rows[c][y] & (0x80 >> x)) ? ink : 0;
    }
  }
  return sheet;
}
