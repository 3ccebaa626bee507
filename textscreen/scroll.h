// SCROLL: a one-row text scroller, as wide as its text screen, through which
// a text moves right to left and repeats without a gap.
#pragma once

#include <cstdint>

#include "textscreen/textscreen.h"

struct Scroller {
  int32_t column;  // screen cell where the window starts
  int32_t row;
  TextScreen* screen;  // bound at creation to the current screen; not owned
  int32_t speed;       // characters per step; may be negative
  int32_t offset;      // index of the character in the window's first cell
  int32_t length;      // bytes in text, without the terminating zero
  char* text;          // owned copy
};

// A scroller bound to the current screen at (0, 0), speed 1, with the default
// text "A scroll's default text. ". None when no text screen exists yet or
// memory runs out.
[[nodiscard]] Scroller* SCROLLNew();

// Frees the text and the scroller itself (the caller's handle is unchanged).
void SCROLLFree(Scroller* scroller);

// Replaces the text by a copy of text and restarts it at its first character.
void SCROLLSetText(Scroller* scroller, const char* text);

// Writes the window's row into the bound screen: screen cols cells from
// (column, row), the text taken cyclically from offset. An empty text draws
// nothing.
void SCROLLDraw(Scroller* scroller);

// Advances the offset by speed, wrapping into 0 .. length - 1 (0 for an empty
// text).
void SCROLLStep(Scroller* scroller);
