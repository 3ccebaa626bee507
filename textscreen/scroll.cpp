// The scroller: a one-row window over a text that repeats without a gap.
#include "textscreen/scroll.h"

#include <cstring>
#include <new>

namespace {

constexpr char kDefaultText[] = "A scroll's default text. ";

// a modulo n (n > 0) in 0 .. n - 1, also for negative a.
int64_t Wrap(int64_t a, int64_t n) {
  const int64_t m = a % n;
  return m < 0 ? m + n : m;
}

}  // namespace

Scroller* SCROLLNew() {
  TextScreen* screen = SCRCurrent();
  if (!screen) return nullptr;
  auto* scroller = new (std::nothrow) Scroller{};
  if (!scroller) return nullptr;
  scroller->screen = screen;
  scroller->speed = 1;
  SCROLLSetText(scroller, kDefaultText);
  if (!scroller->text) {
    delete scroller;
    return nullptr;
  }
  return scroller;
}

void SCROLLFree(Scroller* scroller) {
  if (!scroller) return;
  delete[] scroller->text;
  delete scroller;
}

// The new copy is made before the old text goes, so a failed allocation (or
// a text too long to count in 32 bits) leaves the scroller as it was.
void SCROLLSetText(Scroller* scroller, const char* text) {
  if (!scroller || !text) return;
  const size_t length = std::strlen(text);
  if (length >= INT32_MAX) return;
  auto* copy = new (std::nothrow) char[length + 1]();
  if (!copy) return;
  std::memcpy(copy, text, length);
  delete[] scroller->text;
  scroller->text = copy;
  scroller->length = static_cast<int32_t>(length);
  scroller->offset = 0;
}

// Only the window cells that land on the screen are visited; the character
// of each is taken cyclically from the offset. An offset the owner set
// outside 0 .. length - 1 is taken modulo the length.
void SCROLLDraw(Scroller* scroller) {
  if (!scroller || !scroller->screen || !scroller->text ||
      scroller->length <= 0)
    return;
  TextScreen* screen = scroller->screen;
  const int64_t n = screen->cols;
  if (scroller->row < 0 || scroller->row >= screen->rows) return;
  const int64_t column = scroller->column;
  const int64_t first = column < 0 ? -column : 0;
  const int64_t end = n - column < n ? n - column : n;
  for (int64_t i = first; i < end; ++i) {
    const int64_t k = static_cast<int64_t>(scroller->offset) + i;
    const char ch =
        scroller
            ->text[k >= 0 && k < scroller->length ? k
                                                  : Wrap(k, scroller->length)];
    SCRPutChar(screen, static_cast<int32_t>(column + i), scroller->row,
               static_cast<int8_t>(ch));
  }
}

// offset + speed brought into 0 .. length - 1: the same result as repeatedly
// subtracting the length while too large and adding it while negative.
void SCROLLStep(Scroller* scroller) {
  if (!scroller) return;
  if (scroller->length <= 0) {
    scroller->offset = 0;
    return;
  }
  const int64_t offset =
      static_cast<int64_t>(scroller->offset) + scroller->speed;
  scroller->offset = static_cast<int32_t>(Wrap(offset, scroller->length));
}
