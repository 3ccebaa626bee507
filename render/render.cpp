// The per-frame render: every cell of the text screen drawn through the font.
//
// The plain algorithm is one FONTPutChar per cell, at (8 * col, 8 * row). This
// gives the same pixels with less work per cell: the grid is clipped to the
// image once, and what FONTPutChar works out at every call (the glyph's place
// on the sheet, its clipping against the sheet) is worked out once per code
// and per call, together with which of the glyph's rows hold ink. The cells
// that hold the first inkless code met, the blank that fills most of every
// frame, are passed over 64 at a time by comparing codes; any other inkless
// glyph costs one table look-up, and the rows with ink go to the row copy of
// the blit kernel that IMGBlit and FONTPutChar use. Whole 8 x 8 glyphs of
// cells wholly inside the image take a short path; every other glyph (other
// cell sizes, cells cut by the image's edge, codes past 255) is clipped
// against the image on its own. The sheet is read anew at every call, so
// whatever it holds now is drawn.
//
// A missing font, sheet, image or pixel array takes the plain path, which
// makes FONTPutChar's error reports; so does an image that is its own sheet,
// whose cells must see what earlier cells drew.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "render/render.h"
#include "img/blit_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int32_t kCell = 8;       // cell pitch in pixels, both ways
constexpr uint32_t kCached = 256;  // codes 0 .. 255 are looked up in a table

// Where a code's glyph is: the part of its cell rectangle that lies inside
// the sheet, at (column, row) of the cell, and which of its rows hold ink.
struct Glyph {
  const uint32_t* source;  // the first pixel of that part
  int32_t column, row;
  int32_t width, rows;
  uint64_t ink;  // see below; 0: nothing to draw
};

// Ink bits: bit r (r < 32) for row r of the part, and kGeneral for a glyph
// other than a whole 8 x 8 one (or of 8 rows or fewer, cut by the sheet),
// which takes the general path. Glyphs of more than 32 rows are drawn whole.
constexpr int kMaskRows = 32;
constexpr uint64_t kRowBits = 0xFFFFFFFFu;
constexpr uint64_t kGeneral = uint64_t{1} << 32;

// Which of the first rows rows of the n pixels at s, rows sheetWidth apart,
// have a pixel other than 0: bit r for row r.
uint64_t InkRows(const uint32_t* s, size_t sheetWidth, int32_t n,
                 int32_t rows) {
  uint64_t ink = 0;
#if defined(__SSE2__)
  // Rows of 8, the common glyph, two loads each; a whole 8 x 8 glyph with a
  // loop the compiler unrolls.
  const auto inked8 = [](const uint32_t* row) {
    const __m128i any =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4)));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) !=
           0xFFFF;
  };
  if (n == kCell && rows == kCell) {
    for (int32_t r = 0; r < kCell; ++r)
      ink |= uint64_t{inked8(s + size_t(r) * sheetWidth)} << r;
    return ink;
  }
  if (n == kCell) {
    for (int32_t r = 0; r < rows; ++r, s += sheetWidth)
      ink |= uint64_t{inked8(s)} << r;
    return ink;
  }
#endif
  for (int32_t r = 0; r < rows; ++r, s += sheetWidth) {
    uint32_t any = 0;
    for (int32_t i = 0; i < n; ++i) any |= s[i];
    ink |= uint64_t{any != 0} << r;
  }
  return ink;
}

// Cells are passed over in spans of up to 64, one bit each.
constexpr int32_t kSpan = 64;

// Which of the n (at most kSpan) cells at cells hold a code other than code:
// bit i for cell i.
uint64_t Differing(const int32_t* cells, int32_t n, int32_t code) {
  uint64_t bits = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi32(code);
  for (; i + 4 <= n; i += 4) {
    const __m128i same = _mm_cmpeq_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + i)), v);
    bits |= uint64_t(~_mm_movemask_ps(_mm_castsi128_ps(same)) & 0xF) << i;
  }
#endif
  for (; i < n; ++i) bits |= uint64_t{cells[i] != code} << i;
  return bits;
}

// The glyph of code, placed and clipped as FONTPutChar places and IMGBlit
// clips it against the sheet, written into *g field by field (the caller
// reads back single fields at once, which a whole-struct copy would delay).
void Describe(const Image* sheet, const Font* font, int32_t code, Glyph* g) {
  g->ink = 0;
  const int64_t sw = sheet->width, sh = sheet->height;
  // 64 bits, as FONTPutChar works; 32-bit division where that is exact.
  const int64_t p = static_cast<int64_t>(code) * font->cellWidth;
  int64_t quotient, gx;
  if (p >= INT32_MIN && p <= INT32_MAX) {
    quotient = static_cast<int32_t>(p) / sheet->width;
    gx = static_cast<int32_t>(p) % sheet->width;
  } else {
    quotient = p / sw;
    gx = p % sw;
  }
  const int64_t gy = quotient * font->cellHeight;
  if (gy < INT32_MIN || gy > INT32_MAX) return;
  const int64_t i0 = std::max<int64_t>(0, -gx);
  const int64_t i1 = std::min<int64_t>(font->cellWidth, sw - gx);
  const int64_t j0 = std::max<int64_t>(0, -gy);
  const int64_t j1 = std::min<int64_t>(font->cellHeight, sh - gy);
  if (i1 <= i0 || j1 <= j0) return;
  g->source = sheet->pixels + (gy + j0) * sw + gx + i0;
  g->column = static_cast<int32_t>(i0);
  g->row = static_cast<int32_t>(j0);
  g->width = static_cast<int32_t>(i1 - i0);
  g->rows = static_cast<int32_t>(j1 - j0);
  if (g->rows > kMaskRows) {
    g->ink = kGeneral | kRowBits;
    return;
  }
  g->ink = InkRows(g->source, static_cast<size_t>(sw), g->width, g->rows);
  const bool whole8 = g->column == 0 && g->row == 0 && g->width == kCell &&
                      g->rows <= kCell && font->cellWidth == kCell &&
                      font->cellHeight <= kCell;
  if (g->ink && !whole8) g->ink |= kGeneral;
}

// Copies the rows named in ink (bit r: row r) of a glyph 8 pixels wide. Kept
// out of line: inlined into the render's loop, its strides no longer fit in
// registers and every row reloads one from the stack.
[[gnu::noinline]] void DrawRows8(const uint32_t* s, size_t sheetWidth, uint32_t* d,
                      size_t imageWidth, uint64_t ink) {
  for (int r = 0; r < kCell; ++r, s += sheetWidth, d += imageWidth)
    if (ink >> r & 1) img_internal::BlitRow(s, d, kCell);
}

// Any glyph, cut to what lies inside an image of width x height when its cell
// is at (x, y).
void DrawGeneral(const Glyph& g, size_t sheetWidth, Image* image, int64_t x,
                 int64_t y) {
  x += g.column;
  y += g.row;
  const int64_t w = std::min<int64_t>(g.width, image->width - x);
  const int64_t h = std::min<int64_t>(g.rows, image->height - y);
  if (w <= 0 || h <= 0) return;
  const size_t imageWidth = static_cast<size_t>(image->width);
  uint32_t* d = image->pixels + size_t(y) * imageWidth + size_t(x);
  if (g.rows > kMaskRows) {
    img_internal::BlitRect(g.source, sheetWidth, d, imageWidth, w, h);
    return;
  }
  const uint32_t* s = g.source;
  for (int64_t r = 0; r < h; ++r, s += sheetWidth, d += imageWidth)
    if (g.ink >> r & 1) img_internal::BlitRow(s, d, w);
}

// The plain algorithm: one FONTPutChar per cell, in storage order. Positions
// wrap like the font's own 32-bit arithmetic.
void RenderPlain(Image* image, const TextScreen* screen, const Font* font) {
  const int32_t* cell = screen->cells;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      FONTPutChar(font, *cell++, static_cast<int32_t>(uint32_t(c) * kCell),
                  static_cast<int32_t>(uint32_t(r) * kCell), image);
}

// The glyphs of one call and how to draw them: the sheet's codes 0 .. 255 are
// worked out when first met (kUnread marks those not met yet; it passes the
// blank test), any other code at every cell that holds it.
class Painter {
 public:
  Painter(Image* image, const Font* font, const Image* sheet)
      : image_(image),
        font_(font),
        sheet_(sheet),
        sheetWidth_(static_cast<size_t>(sheet->width)),
        imageWidth_(static_cast<size_t>(image->width)),
        cellHeight_(font->cellHeight) {
    inkOf_.fill(kUnread);
    // With cells 8 pixels wide and at most 8 high on a sheet whose width is a
    // multiple of 8, the glyphs form a grid, and those of the first gridCodes
    // codes lie wholly inside the sheet: such a glyph is found with one
    // division and needs none of Describe's clipping.
    const bool grid = font->cellWidth == kCell && cellHeight_ > 0 &&
                      cellHeight_ <= kCell && sheet->width % kCell == 0;
    perRow_ = static_cast<uint32_t>(sheet->width / kCell);
    gridCodes_ = grid ? static_cast<uint32_t>(std::clamp<int64_t>(
                            int64_t{perRow_} * (sheet->height / cellHeight_), 0,
                            kCached))
                      : 0;
  }

  size_t imageWidth() const { return imageWidth_; }

  // Writes the cell whose top-left pixel is at, wholly inside the image, as
  // clearing it and drawing code's glyph would leave it, in one pass: a
  // glyph row copied whole gives 0 where the glyph has none, as the clear
  // does. False (nothing written) unless code's glyph is a whole 8-wide one
  // from the table, or has no ink.
  bool Replace(int32_t code, uint32_t* at) {
    const uint32_t index = static_cast<uint32_t>(code);
    if (index >= kCached) return false;
    uint64_t ink = inkOf_[index];
    if (ink == kUnread) [[unlikely]]
      ink = Learn(index);
    if (ink & kGeneral) return false;
    int32_t y = 0;
    if (ink) {
      const uint32_t* s = sourceOf_[index];
      for (const int32_t rows = glyphOf_[index].rows; y < rows;
           ++y, s += sheetWidth_, at += imageWidth_)
        std::memcpy(at, s, kCell * sizeof(uint32_t));
    }
    for (; y < kCell; ++y, at += imageWidth_) std::fill_n(at, kCell, 0u);
    return true;
  }

  // Draws the glyph of code for the cell at (c, r), whose pixels start at
  // line + 8 c; whole when the cell lies wholly inside the image. False when
  // the glyph has no ink (nothing was drawn).
  bool Draw(int32_t code, int32_t c, int32_t r, uint32_t* line, bool whole) {
    const uint32_t index = static_cast<uint32_t>(code);  // negative: huge
    if (index >= kCached) {
      Glyph g;
      Describe(sheet_, font_, code, &g);
      if (!g.ink) return false;
      DrawGeneral(g, sheetWidth_, image_, int64_t{c} * kCell,
                  int64_t{r} * kCell);
      return true;
    }
    uint64_t ink = inkOf_[index];
    if (ink == kUnread) [[unlikely]]
      ink = Learn(index);
    if (!ink) return false;
    if (!(ink & kGeneral) && whole)
      DrawRows8(sourceOf_[index], sheetWidth_, line + size_t(c) * kCell,
                imageWidth_, ink);
    else
      DrawGeneral(glyphOf_[index], sheetWidth_, image_, int64_t{c} * kCell,
                  int64_t{r} * kCell);
    return true;
  }

 private:
  static constexpr uint64_t kUnread = ~uint64_t{0};

  // Works out and keeps the glyph of code (< kCached); its ink bits.
  [[gnu::noinline]] uint64_t Learn(uint32_t code) {
    Glyph& g = glyphOf_[code];
    if (code < gridCodes_) {
      g.source = sheet_->pixels +
                 size_t(code / perRow_) * size_t(cellHeight_) * sheetWidth_ +
                 size_t(code % perRow_) * kCell;
      g.column = g.row = 0;
      g.width = kCell;
      g.rows = cellHeight_;
      g.ink = InkRows(g.source, sheetWidth_, kCell, cellHeight_);
    } else {
      Describe(sheet_, font_, static_cast<int32_t>(code), &g);
    }
    sourceOf_[code] = g.source;
    return inkOf_[code] = g.ink;
  }

  Image* image_;
  const Font* font_;
  const Image* sheet_;
  size_t sheetWidth_, imageWidth_;
  int32_t cellHeight_;
  uint32_t perRow_, gridCodes_;
  std::array<uint64_t, kCached> inkOf_;
  std::array<const uint32_t*, kCached> sourceOf_;
  std::array<Glyph, kCached> glyphOf_;
};

// The grid clipped to an image: the cells that start inside it, and of those
// the ones wholly inside, which need no clipping of their own.
struct Visible {
  int32_t cols, rows, wholeCols, wholeRows;
};

Visible VisibleCells(const Image* image, const TextScreen* screen) {
  const int32_t width = image->width, height = image->height;
  Visible v;
  v.cols = width > 0 ? std::min(screen->cols, (width - 1) / kCell + 1) : 0;
  v.rows = height > 0 ? std::min(screen->rows, (height - 1) / kCell + 1) : 0;
  v.wholeCols = std::clamp(width / kCell, 0, v.cols);
  v.wholeRows = std::clamp(height / kCell, 0, v.rows);
  return v;
}

// Which of the n (at most kSpan) cells at now hold a code other than the one
// at the same place in was: bit i for cell i.
uint64_t Changed(const int32_t* now, const int32_t* was, int32_t n) {
  uint64_t bits = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    const __m128i same = _mm_cmpeq_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + i)),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(was + i)));
    bits |= uint64_t(~_mm_movemask_ps(_mm_castsi128_ps(same)) & 0xF) << i;
  }
#endif
  for (; i < n; ++i) bits |= uint64_t{now[i] != was[i]} << i;
  return bits;
}

// Changed runs of cells closer than this (in pixels) share one rectangle: a
// copy of one unchanged cell costs less than one more rectangle, while wider
// gaps, on a screen of scattered stars, would join most of every band and
// have the present copy pixels that did not change.
constexpr int32_t kJoinGap = kCell;

// The rectangles one frame changed, built band by band (a band is a row of
// cells): runs in a band are joined when close, and a band's single
// rectangle extends the one above when it spans the same columns. Past
// DEMO_RENDER_RECTS the list is replaced by the box around everything.
class Changes {
 public:
  void Clear() {
    count_ = bandFirst_ = previousFirst_ = previousCount_ = 0;
    overflow_ = false;
    x0_ = y0_ = INT32_MAX;
    x1_ = y1_ = INT32_MIN;
  }

  // Columns x0 .. x1 - 1 of the band's rows y .. y + h - 1 changed; runs of
  // one band come left to right.
  void Add(int32_t x0, int32_t x1, int32_t y, int32_t h) {
    x0_ = std::min(x0_, x0);
    x1_ = std::max(x1_, x1);
    y0_ = std::min(y0_, y);
    y1_ = std::max(y1_, y + h);
    if (count_ > bandFirst_ && x0 - End(rects_[count_ - 1]) <= kJoinGap) {
      rects_[count_ - 1].w = x1 - rects_[count_ - 1].x;
      return;
    }
    if (count_ == DEMO_RENDER_RECTS) {
      overflow_ = true;
      return;
    }
    rects_[count_++] = ImageRect{x0, y, x1 - x0, h};
  }

  // The band is done: the next Add starts the next band.
  void EndBand() {
    const int32_t n = count_ - bandFirst_;
    if (n == 1 && previousCount_ == 1) {
      ImageRect& above = rects_[previousFirst_];
      const ImageRect& here = rects_[bandFirst_];
      if (above.x == here.x && above.w == here.w &&
          above.y + above.h == here.y) {
        above.h += here.h;
        count_ = bandFirst_;
        return;  // the band above stays the previous one, still single
      }
    }
    previousFirst_ = bandFirst_;
    previousCount_ = n;
    bandFirst_ = count_;
  }

  // Ends the list: the box around everything if it overflowed.
  void Finish() {
    if (!overflow_) return;
    rects_[0] = ImageRect{x0_, y0_, x1_ - x0_, y1_ - y0_};
    count_ = 1;
  }

  const ImageRect* rects() const { return rects_; }
  int32_t count() const { return count_; }

 private:
  static int32_t End(const ImageRect& r) { return r.x + r.w; }

  ImageRect rects_[DEMO_RENDER_RECTS];
  int32_t count_ = 0;
  bool overflow_ = false;
  int32_t bandFirst_ = 0, previousFirst_ = 0, previousCount_ = 0;
  int32_t x0_ = INT32_MAX, y0_ = INT32_MAX, x1_ = INT32_MIN, y1_ = INT32_MIN;
};

// Clears and redraws the visible cells of screen whose code differs from the
// one in shown (the codes image shows, laid out as screen's cells), brings
// shown up to date and lists what changed in changes, a rectangle per run of
// changed cells (or more runs joined). A whole cell whose glyph is a whole
// 8-wide one is written in one pass; any other is cleared, then drawn.
void DrawChanged(Painter& painter, Image* image, const TextScreen* screen,
                 int32_t* shown, Changes& changes) {
  const Visible v = VisibleCells(image, screen);
  const size_t imageWidth = painter.imageWidth();
  const size_t cols = static_cast<size_t>(screen->cols);
  changes.Clear();
  for (int32_t r = 0; r < v.rows; ++r) {
    const int32_t* cell = screen->cells + size_t(r) * cols;
    int32_t* was = shown + size_t(r) * cols;
    uint32_t* line = image->pixels + size_t(r) * kCell * imageWidth;
    const int32_t whole = r < v.wholeRows ? v.wholeCols : 0;
    const int32_t top = r * kCell;
    const int32_t bandRows = std::min(kCell, image->height - top);
    for (int32_t c0 = 0; c0 < v.cols; c0 += kSpan) {
      const int32_t n = std::min(kSpan, v.cols - c0);
      uint64_t todo = Changed(cell + c0, was + c0, n);
      while (todo) {
        const int first = std::countr_zero(todo);
        const int length = std::countr_one(todo >> first);
        todo = length == kSpan
                   ? 0
                   : todo & ~((~uint64_t{0} >> (kSpan - length)) << first);
        const int32_t c = c0 + first, end = c + length;
        const int32_t x0 = c * kCell;
        const int32_t x1 = std::min(end * kCell, image->width);
        for (int32_t k = c; k < end; ++k) {
          was[k] = cell[k];
          uint32_t* at = line + size_t(k) * kCell;
          if (k < whole && painter.Replace(cell[k], at)) continue;
          // Cleared, then drawn as the whole frame draws it.
          const int32_t w = std::min(kCell, image->width - k * kCell);
          for (int32_t y = 0; y < bandRows; ++y)
            std::fill_n(at + size_t(y) * imageWidth, w, 0u);
          painter.Draw(cell[k], k, r, line, k < whole);
        }
        changes.Add(x0, x1, top, bandRows);
      }
    }
    changes.EndBand();
  }
  changes.Finish();
}

}  // namespace

// What a frame image shows: the geometry it was drawn with and the code of
// every cell, so that the next frame can tell what changed.
struct RenderCache {
  const Image* image = nullptr;
  const uint32_t* pixels = nullptr;
  int32_t width = 0, height = 0;
  const Font* font = nullptr;
  const Image* sheet = nullptr;
  const uint32_t* sheetPixels = nullptr;
  int32_t sheetWidth = 0, sheetHeight = 0, cellWidth = 0, cellHeight = 0;
  int32_t cols = 0, rows = 0;
  std::unique_ptr<int32_t[]> shown;  // cols x rows codes, row-major
  size_t capacity = 0;               // cells that shown holds
  bool valid = false;  // shown and the geometry describe the image
  bool full = true;    // the last frame (or an invalidate) changed everything
  Changes changes;
};

namespace {

// The image can be drawn cell by cell: every glyph stays inside its own cell,
// and the render's own path (not FONTPutChar's) draws it.
bool CellByCell(const Image* image, const TextScreen* screen,
                const Font* font) {
  const Image* sheet = font ? font->glyphs : nullptr;
  return screen && screen->cells && screen->cols > 0 && screen->rows > 0 &&
         sheet && image && image->pixels && sheet->pixels &&
         sheet->pixels != image->pixels && sheet->width > 0 &&
         font->cellWidth <= kCell && font->cellHeight <= kCell;
}

// The cache describes image drawn with this screen size and font.
bool SameGeometry(const RenderCache& k, const Image* image,
                  const TextScreen* screen, const Font* font) {
  const Image* sheet = font->glyphs;
  return k.valid && k.image == image && k.pixels == image->pixels &&
         k.width == image->width && k.height == image->height &&
         k.font == font && k.sheet == sheet &&
         k.sheetPixels == sheet->pixels && k.sheetWidth == sheet->width &&
         k.sheetHeight == sheet->height && k.cellWidth == font->cellWidth &&
         k.cellHeight == font->cellHeight && k.cols == screen->cols &&
         k.rows == screen->rows;
}

// After a full frame: notes what image now shows, when it can be kept.
void Remember(RenderCache& k, const Image* image, const TextScreen* screen,
              const Font* font) {
  k.valid = false;
  const size_t cells = size_t(screen->cols) * size_t(screen->rows);
  if (cells > k.capacity) {
    k.shown.reset(new (std::nothrow) int32_t[cells]);
    k.capacity = k.shown ? cells : 0;
    if (!k.shown) return;  // every frame stays a full one
  }
  std::copy_n(screen->cells, cells, k.shown.get());
  const Image* sheet = font->glyphs;
  k.pixels = image->pixels;
  k.width = image->width;
  k.height = image->height;
  k.font = font;
  k.sheet = sheet;
  k.sheetPixels = sheet->pixels;
  k.sheetWidth = sheet->width;
  k.sheetHeight = sheet->height;
  k.cellWidth = font->cellWidth;
  k.cellHeight = font->cellHeight;
  k.cols = screen->cols;
  k.rows = screen->rows;
  k.valid = true;
}

}  // namespace

void DEMORender(Image* image, const TextScreen* screen, const Font* font) {
  if (!screen) return;
  const Image* sheet = font ? font->glyphs : nullptr;
  if (!sheet || !image || !image->pixels || !sheet->pixels ||
      sheet->pixels == image->pixels) {
    RenderPlain(image, screen, font);
    return;
  }
  if (sheet->width <= 0 || screen->cols <= 0 || screen->rows <= 0) return;

  const Visible v = VisibleCells(image, screen);
  Painter painter(image, font, sheet);
  // The first code met whose glyph has no ink: from then on the cells that
  // hold it, the blank around the text on most screens, are passed over a
  // span of cells at a time without being looked at one by one.
  bool haveBlank = false;
  int32_t blank = 0;
  const size_t imageWidth = painter.imageWidth();
  for (int32_t r = 0; r < v.rows; ++r) {
    const int32_t* cell = screen->cells + size_t(r) * size_t(screen->cols);
    uint32_t* line = image->pixels + size_t(r) * kCell * imageWidth;
    const int32_t whole = r < v.wholeRows ? v.wholeCols : 0;
    for (int32_t c0 = 0; c0 < v.cols; c0 += kSpan) {
      const int32_t n = std::min(kSpan, v.cols - c0);
      uint64_t todo = haveBlank ? Differing(cell + c0, n, blank)
                                : ~uint64_t{0} >> (kSpan - n);
      for (; todo; todo &= todo - 1) {
        const int32_t c = c0 + std::countr_zero(todo);
        if (!painter.Draw(cell[c], c, r, line, c < whole) && !haveBlank) {
          haveBlank = true;
          blank = cell[c];
        }
      }
    }
  }
}

RenderCache* DEMORenderCacheNew() { return new (std::nothrow) RenderCache; }

void DEMORenderCacheFree(RenderCache** cache) {
  if (!cache) return;
  delete *cache;
  *cache = nullptr;
}

void DEMORenderInvalidate(RenderCache* cache) {
  if (!cache) return;
  cache->valid = false;
  cache->full = true;
}

void DEMORenderFrame(RenderCache* cache, Image* image, const TextScreen* screen,
                     const Font* font) {
  if (cache && CellByCell(image, screen, font) &&
      SameGeometry(*cache, image, screen, font)) {
    Painter painter(image, font, font->glyphs);
    DrawChanged(painter, image, screen, cache->shown.get(), cache->changes);
    cache->full = false;
    return;
  }
  IMGClear(image);
  DEMORender(image, screen, font);
  if (!cache) return;
  cache->image = image;
  cache->full = true;
  if (CellByCell(image, screen, font))
    Remember(*cache, image, screen, font);
  else
    cache->valid = false;
}

const ImageRect* DEMORenderChanges(const RenderCache* cache, const Image* image,
                                   int32_t* count) {
  if (count) *count = 0;
  if (!cache || !count || cache->full || !cache->valid ||
      cache->image != image)
    return nullptr;
  *count = cache->changes.count();
  return cache->changes.rects();
}
