// The intro's random numbers: a 15-bit linear congruential generator whose
// state starts at 1 and is never seeded, so every run draws the same sequence.
// Each call: state = state * 214013 + 2531011 (mod 2^32); returns
// (state >> 16) & 0x7FFF, a value in 0 .. 32767.
#pragma once

#include <cstdint>

namespace intro {

int32_t rand();

// Puts the generator back to its start state (1). Tests use it to replay the
// sequence a fresh process would see; the intro never calls it.
void RandReset();

}  // namespace intro
