// SCR: the text screen, an emulated console of cols x rows character cells.
//
// Cells are signed 32-bit character codes, row-major: the cell of column c
// and row r is cells[r * cols + c]. Characters given as bytes are stored
// sign-extended (0x80-0xFF become -128..-1); the blank is 32. Every drawing
// operation is clipped cell by cell: writes outside the grid are dropped
// silently. The most recently created screen is the current screen, to which
// the scroller binds. The intro never frees its screen; programs that make and
// drop screens release them with SCRFree. Operations given a none screen do
// nothing.
#pragma once

#include <cstdint>
#include <cstdio>

struct TextScreen {
  int32_t cols;
  int32_t rows;
  int32_t* cells;  // cols * rows cells
  int32_t dumps;   // number of SCRDump calls on this screen
};

// A new 80 x 25 screen of blanks, which becomes the current screen; none if it
// cannot be allocated.
[[nodiscard]] TextScreen* SCRNew();

// The screen most recently created by SCRNew, or none before the first and
// after that screen was freed.
TextScreen* SCRCurrent();

// Releases the cells and the screen and sets *screen to none; a none address
// or handle does nothing. A scroller bound to the screen must not be drawn
// afterwards.
void SCRFree(TextScreen** screen);

// Replaces the cells by cols x rows blanks. A negative size, an overflowing
// one or a failed allocation leaves a 0 x 0 screen.
void SCRResize(TextScreen* screen, int32_t cols, int32_t rows);

// Stores value in every cell.
void SCRFill(TextScreen* screen, int32_t value);

// Stores value in the cell (col, row) when it lies on the screen.
void SCRSet(TextScreen* screen, int32_t col, int32_t row, int32_t value);

// As SCRSet, with the byte ch sign-extended.
void SCRPutChar(TextScreen* screen, int32_t col, int32_t row, int8_t ch);

// Writes the zero-terminated text from (col, row); '\n' continues on the next
// row at the starting column. Nothing wraps.
void SCRPrint(TextScreen* screen, int32_t col, int32_t row, const char* text);

// Runs of ch, both ends included, in either order.
void SCRHLine(TextScreen* screen, int32_t col0, int32_t col1, int32_t row,
              int8_t ch);
void SCRVLine(TextScreen* screen, int32_t row0, int32_t row1, int32_t col,
              int8_t ch);

// Fills the rectangle with corners (col0, row0) and (col1, row1), included.
void SCRBox(TextScreen* screen, int32_t col0, int32_t row0, int32_t col1,
            int32_t row1, int8_t ch);

// A straight line of ch between two cells, stepped in 16.16 fixed point along
// the longer axis, endpoints in either order; lines that rise steeply are the
// mirror image of those that fall. Lines along one row or column draw nothing;
// exact diagonals draw their first cell only.
void SCRLine(TextScreen* screen, int32_t col0, int32_t row0, int32_t col1,
             int32_t row1, int8_t ch);

// Writes the grid to stream: a newline, then each row's first cols - 1 cells
// (low byte of each), rows separated by newlines, no final newline. Counts the
// dump.
void SCRDump(TextScreen* screen, FILE* stream);
