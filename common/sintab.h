// The shared sine table: one full period in 1024 signed 16-bit entries of
// amplitude 32767 (the two extremes are +-32766). Users reduce indexes modulo
// SINTAB_SIZE, which is a variable so that every user takes the same modulus.
#pragma once

#include <cstdint>

namespace intro {

extern int32_t SINTAB_SIZE;  // 1024
extern const int16_t SINTAB[1024];

}  // namespace intro
