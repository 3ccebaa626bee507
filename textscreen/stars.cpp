// The starfield: stars fly from the centre of an area in straight lines and
// start again from the centre once they leave it.
#include "textscreen/stars.h"

#include <new>

#include "common/random.h"

namespace {

constexpr int32_t kStar = '*';

// Two's-complement 32-bit addition (positions wrap instead of overflowing;
// a wrapped star is outside the area and gets reset).
constexpr int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) +
                              static_cast<uint32_t>(b));
}

// The centre cell of a size in 16.16 (fraction 0): the lower middle cell
// for odd sizes.
constexpr int32_t Centre(int32_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(size >> 1) << 16);
}

}  // namespace

Starfield* STARSNew() {
  auto* field = new (std::nothrow) Starfield{};
  if (!field) return nullptr;
  field->width = 80;
  field->height = 25;
  STARSSetCount(field, 10);
  if (field->count != 10) {  // the stars could not be allocated
    delete field;
    return nullptr;
  }
  return field;
}

void STARSFree(Starfield** field) {
  if (!field || !*field) return;
  Starfield* gone = *field;
  delete[] gone->stars;
  delete gone;
  *field = nullptr;
}

void STARSSetCount(Starfield* field, int32_t n) {
  if (!field) return;
  delete[] field->stars;
  field->stars = nullptr;
  field->count = 0;
  if (n <= 0) return;
  field->stars = new (std::nothrow) Star[static_cast<size_t>(n)]();
  if (!field->stars) return;
  field->count = n;
  for (int32_t i = 0; i < n; ++i) STARSReset(field, i);
}

void STARSMove(Starfield* field) {
  if (!field) return;
  for (int32_t i = 0; i < field->count; ++i) {
    Star& s = field->stars[i];
    s.x = Add(s.x, s.vx);
    s.y = Add(s.y, s.vy);
    if (s.x < 0 || (s.x >> 16) >= field->width || s.y < 0 ||
        (s.y >> 16) >= field->height)
      STARSReset(field, i);
  }
}

// The order of the rand calls (a then b in every draw, then the sign of vx,
// then the sign of vy) fixes the star pattern of every run.
void STARSReset(Starfield* field, int32_t i) {
  if (!field || i < 0 || i >= field->count) return;
  Star& s = field->stars[i];
  s.x = Centre(field->width);
  s.y = Centre(field->height);
  int32_t a, b;
  do {
    a = intro::rand() & 0xFFFF;
    b = intro::rand() & 0xFFFF;
  } while (a + b < 8192);
  if (intro::rand() & 1) a = -a;
  if (intro::rand() & 1) b = -b;
  s.vx = a;
  s.vy = b;
}

void STARSDraw(const Starfield* field, TextScreen* screen) {
  if (!field || !screen) return;
  for (int32_t i = 0; i < field->count; ++i)
    SCRSet(screen, field->stars[i].x >> 16, field->stars[i].y >> 16, kStar);
}
