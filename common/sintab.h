// The shared sine table: one full period in 1024 signed 16-bit entries of
// amplitude 32767 (the two extremes are +-32766). Users reduce indexes modulo
// SINTAB_SIZE, the one constant every user takes as its modulus.
#pragma once

#include <cstdint>

namespace intro {

inline constexpr int32_t SINTAB_SIZE = 1024;
static_assert(SINTAB_SIZE > 0, "every user divides by the table's length");

extern const int16_t SINTAB[SINTAB_SIZE];

}  // namespace intro
