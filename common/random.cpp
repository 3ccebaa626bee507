#include "common/random.h"

namespace intro {

namespace {
uint32_t state = 1;
}

int32_t rand() {
  state = state * 214013u + 2531011u;
  return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

void RandReset() { state = 1; }

}  // namespace intro
