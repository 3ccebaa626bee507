// asciicast v2: the header line and output events, as JSON.
#include <cstdio>
#include <cstring>

#include "term/term.h"

namespace {

// The 16 colours the recording's player uses for the palette's first
// entries; the intro draws in direct colours or none, so these only matter
// to whoever appends to the recording.
constexpr char kPalette[] =
    "#000000:#aa0000:#00aa00:#aa5500:#0000aa:#aa00aa:#00aaaa:#aaaaaa:"
    "#555555:#ff5555:#55ff55:#ffff55:#5555ff:#ff55ff:#55ffff:#ffffff";

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

size_t TERMCastHeader(int32_t cols, int32_t rows, uint32_t fg, uint32_t bg,
                      char* out, size_t capacity) {
  const int n = std::snprintf(
      out, capacity,
      "{\"version\": 2, \"width\": %d, \"height\": %d, \"env\": {\"TERM\": "
      "\"xterm-256color\"}, \"theme\": {\"fg\": \"#%06x\", \"bg\": "
      "\"#%06x\", \"palette\": \"%s\"}}\n",
      cols, rows, fg & 0xFFFFFFu, bg & 0xFFFFFFu, kPalette);
  return n > 0 && static_cast<size_t>(n) < capacity ? static_cast<size_t>(n)
                                                    : 0;
}

int64_t TERMCastTime(int64_t k, int32_t fps) {
  if (fps <= 0) return 0;
  // Rounded to the nearest microsecond.
  return (k * 2000000 + fps) / (2 * int64_t(fps));
}

size_t TERMCastEvent(int64_t microseconds, const char* bytes, size_t size,
                     char* out, size_t capacity) {
  if (capacity < TERMCastEventBound(size) || microseconds < 0) return 0;
  int n = std::snprintf(out, capacity, "[%lld.%06lld, \"o\", \"",
                        static_cast<long long>(microseconds / 1000000),
                        static_cast<long long>(microseconds % 1000000));
  if (n <= 0) return 0;
  char* p = out + n;
  for (size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '"' || b == '\\') {
      *p++ = '\\';
      *p++ = static_cast<char>(b);
    } else if (b == '\n') {
      *p++ = '\\';
      *p++ = 'n';
    } else if (b == '\r') {
      *p++ = '\\';
      *p++ = 'r';
    } else if (b == '\b') {
      *p++ = '\\';
      *p++ = 'b';
    } else if (b < 0x20 || b == 0x7F || b >= 0x80) {
      // Control bytes must be escaped; bytes from 0x80 up are no UTF-8 the
      // view writes, and are kept as the code points of the same value.
      std::memcpy(p, "\\u00", 4);
      p[4] = kHex[b >> 4];
      p[5] = kHex[b & 15];
      p += 6;
    } else {
      *p++ = static_cast<char>(b);
    }
  }
  std::memcpy(p, "\"]\n", 3);
  p += 3;
  return static_cast<size_t>(p - out);
}
