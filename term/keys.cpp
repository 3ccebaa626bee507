// Terminal input to key codes.
#include "term/term.h"

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kInterrupt = 3;  // Ctrl-C

}  // namespace

size_t TERMDecodeKeys(const uint8_t* bytes, size_t n, bool final,
                      int32_t* keys, size_t* count) {
  size_t k = 0, i = 0;
  while (i < n) {
    const uint8_t b = bytes[i];
    if (b != kEscape) {
      if (b == kInterrupt)
        keys[k++] = TERM_KEY_INTERRUPT;
      else if (b > 0 && b < 128)
        keys[k++] = b;
      ++i;
      continue;
    }
    if (i + 1 == n) {  // the ESC may be the start of a sequence
      if (!final) break;
      keys[k++] = kEscape;
      ++i;
      continue;
    }
    const uint8_t next = bytes[i + 1];
    if (next == '[') {
      // Control sequence: parameter and intermediate bytes, then one final
      // byte from '@' to '~'.
      size_t j = i + 2;
      while (j < n && bytes[j] >= 0x20 && bytes[j] < 0x40) ++j;
      if (j == n) {
        if (!final) break;
        i = n;  // cut short: dropped
      } else if (bytes[j] >= 0x40 && bytes[j] <= 0x7E) {
        i = j + 1;
      } else {
        i = j;  // broken off by a byte that cannot be in it: read on from it
      }
    } else if (next == 'O') {  // SS3: one more byte (F1-F4, keypad)
      if (i + 2 == n && !final) break;
      i = i + 3 <= n ? i + 3 : n;
    } else if (next >= 32 && next < 127) {
      i += 2;  // Alt and a key
    } else {
      keys[k++] = kEscape;  // Escape, then whatever the next byte is
      ++i;
    }
  }
  *count = k;
  return i;
}
