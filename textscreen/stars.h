// STARS: a flat starfield. Stars start at the centre of an area of cells, fly
// out at random velocities and start again from the centre when they leave it.
// Positions and velocities are 16.16 fixed-point cells; the random numbers
// come from intro::rand, so the pattern is the same on every run.
#pragma once

#include <cstdint>

#include "textscreen/textscreen.h"

struct Star {
  int32_t x, y;    // position; the star's cell is (x >> 16, y >> 16)
  int32_t vx, vy;  // added to the position once per move
};

struct Starfield {
  int32_t originCol;  // the area's position; not read by these operations
  int32_t originRow;
  int32_t width;  // area size in cells: 80 x 25 after STARSNew
  int32_t height;
  int32_t count;
  Star* stars;  // count stars; owned
};

// A starfield on an 80 x 25 area with 10 stars, or none.
[[nodiscard]] Starfield* STARSNew();

// Releases the stars and the field and sets *field to none; a none address or
// handle does nothing. The intro never frees its starfield.
void STARSFree(Starfield** field);

// Replaces the stars by n new ones, reset in order from the area's centre. A
// negative n or a failed allocation leaves no stars.
void STARSSetCount(Starfield* field, int32_t n);

// Moves every star one step; a star that leaves the area is reset at once.
void STARSMove(Starfield* field);

// Puts star i at the centre of the area with a new random velocity.
void STARSReset(Starfield* field, int32_t i);

// Plots every star as '*' at its cell of screen (clipped).
void STARSDraw(const Starfield* field, TextScreen* screen);
