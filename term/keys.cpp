// Terminal input to key codes.
#include "term/term.h"

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kInterrupt = 3;  // Ctrl-C

// Where the decoder is.
enum State : uint8_t {
  kGround = 0,  // outside any sequence
  kAfterEscape,  // an ESC, which may start a sequence
  kControl,      // ESC [ and its parameter and intermediate bytes so far
  kShift3,       // ESC O: one more byte (F1-F4, keypad)
};

}  // namespace

size_t TERMDecodeKeys(TermKeys* keys, const uint8_t* bytes, size_t n,
                      int32_t* out) {
  size_t k = 0;
  uint8_t state = keys->state;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (state) {
      case kAfterEscape:
        if (b == '[') {
          state = kControl;
        } else if (b == 'O') {
          state = kShift3;
        } else if (b == kEscape) {
          out[k++] = kEscape;  // the first was Escape; this one may start one
        } else if (b >= 32 && b < 127) {
          state = kGround;  // Alt and a key
        } else {
          out[k++] = kEscape;  // Escape, then whatever the next byte is
          state = kGround;
          --i;
        }
        continue;
      case kControl:
        // Parameter and intermediate bytes, then one final byte from '@' to
        // '~'; any other byte breaks the sequence off and is read on its own.
        if (b >= 0x20 && b < 0x40) continue;
        state = kGround;
        if (b >= 0x40 && b <= 0x7E) continue;
        break;
      case kShift3:
        state = kGround;
        continue;
      default:
        break;
    }
    if (b == kEscape)
      state = kAfterEscape;
    else if (b == kInterrupt)
      out[k++] = TERM_KEY_INTERRUPT;
    else if (b > 0 && b < 128)
      out[k++] = b;
  }
  keys->state = state;
  return k;
}

size_t TERMKeysTimeout(TermKeys* keys, int32_t* out) {
  const bool lone = keys->state == kAfterEscape;
  keys->state = kGround;
  if (!lone) return 0;
  *out = kEscape;
  return 1;
}
