// The per-frame render of a text screen into an image, cell by cell through a
// bitmap font. It needs no SDL: the driver, the recorder, the terminal intro
// and the benchmarks all render through it.
#pragma once

#include <cstdint>

#include "font/font.h"
#include "img/img.h"
#include "img/rect.h"
#include "textscreen/textscreen.h"

// Draws every cell of screen into image through font at (8 * col, 8 * row),
// exactly as one FONTPutChar per cell would. Cells outside the image are
// clipped; a missing image, screen or font is reported as FONTPutChar reports
// it.
void DEMORender(Image* image, const TextScreen* screen, const Font* font);

// ---- Drawing only what changed ----------------------------------------
//
// The render's memory of what a frame image shows, so that a frame draws only
// the cells that changed since the last one.
//
// A RenderCache belongs to one frame image at a time. DEMORenderFrame gives
// that image exactly the pixels of IMGClear followed by DEMORender: it draws
// in full (and notes the codes it drew) the first time, and whenever the
// image, its pixel array or size, the font, its cell size, its sheet or the
// sheet's pixel array or size, or the text screen's size differ from the last
// call; otherwise it clears and redraws only the cells whose code differs
// from the one the image shows. It tells changes by those pointers and sizes
// alone: whoever writes into the image or the sheet in place (the fade,
// DEMODarken, a test, a recorder), or frees one and makes another in its
// place, calls DEMORenderInvalidate so that the next frame is a full one.
// Cells whose glyphs may reach beyond their own 8 x 8 pixels (cells larger
// than 8), a font without a sheet, an image without pixels and an image that
// is its own sheet are drawn in full at every frame.

struct RenderCache;

// The most changed rectangles one frame lists; a frame that changed in more
// places lists the one rectangle around all of them.
inline constexpr int32_t DEMO_RENDER_RECTS = 2048;

// A cache that knows no image yet (its first frame is a full one), or none
// when memory ran out. Released with DEMORenderCacheFree.
[[nodiscard]] RenderCache* DEMORenderCacheNew();

// Releases the cache and sets *cache to none; none is allowed.
void DEMORenderCacheFree(RenderCache** cache);

// Forgets what the image shows: the next DEMORenderFrame draws in full. Call
// it after anything other than DEMORenderFrame wrote into the image or the
// glyph sheet. None is allowed.
void DEMORenderInvalidate(RenderCache* cache);

// Gives image the pixels that IMGClear and DEMORender(image, screen, font)
// give it, drawing only what changed since the last call when it can (see
// above). A none cache draws in full every time. Arguments as DEMORender's.
void DEMORenderFrame(RenderCache* cache, Image* image, const TextScreen* screen,
                     const Font* font);

// The parts of image that the last DEMORenderFrame changed, *count of them,
// inside the image and in the order drawn; none (with *count 0) when the whole
// image may have changed: after a full frame, after DEMORenderInvalidate, or
// when the cache's last frame was drawn into another image. Valid until the
// next call on the cache.
const ImageRect* DEMORenderChanges(const RenderCache* cache, const Image* image,
                                   int32_t* count);
