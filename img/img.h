// IMG: the 32-bit image object and everything that reads, writes or
// transforms it.
//
// Pixels are 32-bit values 0x00RRGGBB (red in bits 16-23, green 8-15, blue
// 0-7), stored row-major with no gap between rows: pixel (x, y) is
// pixels[y * width + x]. The value 0 is black and is also the transparent value
// of IMGBlit. Operations store and return whole 32-bit values; only the PNM
// writer and the text form drop the top byte.
//
// Ownership: an Image owns its pixel array; only IMGResize and IMGFree release
// it. Other code may read and write pixels in place but never keeps or frees
// the array. Every operation that builds data for the caller returns a new
// object the caller owns: images are released with IMGFree, texts, spread
// tables and point lists with free().
//
// Memory: pixel arrays come from IMG_MALLOC(bytes) and go back through
// IMG_FREE(pointer), by default the C library's malloc and free; arrays that
// must start as zeros come from IMG_CALLOC(count, size), by default calloc.
// An embedder with an allocator of its own compiles the library with both
// IMG_MALLOC and IMG_FREE defined (IMG_CALLOC too, or zeroed arrays are
// IMG_MALLOC's, cleared). Readers and transforms that write every pixel take
// their arrays uncleared. Image records themselves come from operator new.
//
// Failures: an operation that fails writes "IMG error\n" to standard output
// once (IMGError) and returns none (nullptr), 0 or false, leaving its
// arguments unchanged. Nothing throws and nothing aborts. Sizes and indexes are
// signed 32-bit; callers pass sizes of 0 or more.
#pragma once

#include <cstddef>
#include <cstdint>

struct Image {
  int32_t width;
  int32_t height;
  uint32_t* pixels;  // width * height values; never null on a live image
};

// ---- Image object and pixel operations ------------------------------------

// A new 16 x 16 image of zeros, or none after a report.
[[nodiscard]] Image* IMGNew();

// Releases the image and its pixels and sets *image to none. A none address or
// handle: report, nothing else.
void IMGFree(Image** image);

// True when both have the same size and the same 32-bit value in every pixel.
// Either none: report, false.
bool IMGEqual(const Image* a, const Image* b);

// A deep copy, or none (source none: report).
[[nodiscard]] Image* IMGCopy(const Image* source);

// Replaces the pixel array by width * height zeros (contents never survive,
// not even at the same size). If the array cannot be allocated, or width *
// height does not fit in 32 bits, reports and leaves a valid 0 x 0 image.
void IMGResize(Image* image, int32_t width, int32_t height);

// Sets every pixel to 0.
void IMGClear(Image* image);

// Stores value at (x, y) when inside the image; outside is silently ignored.
void IMGSetPixel(Image* image, int32_t x, int32_t y, uint32_t value);

// The value at (x, y), or 0 outside the image.
uint32_t IMGGetPixel(const Image* image, int32_t x, int32_t y);

// Copies the w x h rectangle at (sx, sy) of source to (dx, dy) of destination,
// skipping source pixels of value 0 (transparent). The rectangle is clipped
// against both images; what falls outside either is not touched.
void IMGBlit(const Image* source, Image* destination, int32_t sx, int32_t sy,
             int32_t dx, int32_t dy, int32_t w, int32_t h);

// The module's error report: writes "IMG error\n" to standard output.
void IMGError();

// ---- PNM reading and writing ----------------------------------------------
//
// Both readers take the six formats P1-P6. Samples are not scaled by maxval:
// colour pixels are r << 16 | g << 8 | b, grey ones v * 0x010101, and a bitmap
// 1 is white (0xFFFFFF), 0 black. Headers are checked before anything is
// allocated: at most IMG_MAX_SIDE pixels a side and IMG_MAX_PIXELS in all.
// Input that ends before the raster is complete is an error: report, none.

inline constexpr int32_t IMG_MAX_SIDE = 16384;
inline constexpr int32_t IMG_MAX_PIXELS = 1 << 26;
// A header longer than this (comments included, up to and including the byte
// that ends its last token) is malformed, so every input, an endless stream
// such as /dev/zero included, ends in bounded work.
inline constexpr int32_t IMG_MAX_HEADER_BYTES = 65536;

// Reads a PNM file. Pipes and character devices are read too (/dev/stdin),
// and every input ends in bounded work (see IMG_MAX_HEADER_BYTES). None after
// a report if it cannot be opened or read, or is malformed or truncated;
// errno is ENOMEM when memory ran out.
[[nodiscard]] Image* IMGLoad(const char* filename);

// Reads a PNM image from the size bytes at buffer; never reads past them. P1
// and P4 widths are rounded up to a multiple of 8 (the fill bits become
// pixels). None after a report on any failure.
[[nodiscard]] Image* IMGParse(const uint8_t* buffer, size_t size);

// Writes the image as a raw P6 file (top byte of each pixel dropped).
//
// Only a regular file is ever replaced, or a new one created: a device, FIFO,
// socket or folder under filename gives false and stays untouched. A symlink
// is followed and what it points to is written, as editors do. The contents
// are written to a file that is not yet the target (an unnamed one where the
// kernel offers O_TMPFILE, so a killed write leaves nothing behind; otherwise a
// short hidden name in the same folder, so any legal target name works),
// synced to disk, and then put in the target's place in one step, after which
// the folder is synced too: the target is either untouched or whole. The new
// file keeps the permission bits, set-id bits included, (and, where allowed,
// the owner) of the one it replaces; a new one gets 0666 less the umask. Being a new file, it is no
// longer shared with other hard links to the old one: they keep the old
// contents. False after a report on any failure, with errno telling why
// (ENOMEM when memory ran out).
bool IMGSave(const Image* image, const char* filename);

// ---- Textual image form -----------------------------------------------------

// The image as the text "IMG{\nP3\n<w> <h>\n255\n<pixels>}\n", six pixels of
// "%3d %3d %3d" to a line; "IMG{}" for an image without pixels. The caller
// frees the text with free(). None after a report.
[[nodiscard]] char* IMGToASCII(const Image* image);

// Reads the first "IMG" ... "{" ... "P3\n" block found in a zero-terminated
// text. None after a report when the markers are missing, the text ends before
// the block is complete, or the image cannot be allocated.
[[nodiscard]] Image* IMGFromASCII(const char* text);

// The index just past the first occurrence of pattern in text; 0 when it does
// not occur or pattern is empty. Either none: report, 0.
int32_t IMGFind(const char* text, const char* pattern);

// ---- Transforms -------------------------------------------------------------

// A table of min(|a|, |b|) + 1 counts: entry j is how many of the max(|a|,
// |b|) units fall to unit j of the smaller length (larger shares first); the
// last entry is 1. Freed with free(). None after a report if it cannot be
// allocated.
[[nodiscard]] int32_t* IMGSpread(int32_t a, int32_t b);

// Nearest-neighbour resize to width x height. None after a report for a none
// source, a negative size, a size whose pixel count does not fit in 32 bits or
// a failed allocation.
[[nodiscard]] Image* IMGScale(const Image* source, int32_t width,
                              int32_t height);

// The source turned about its centre by angle (1024 units to the turn; 512 is
// upright, 0 a half turn, growing angles turn counter-clockwise on screen),
// into an image about 1.414 times larger each way. Pixels from outside the
// source are 0. None after a report for a none or oversized source or a failed
// allocation.
[[nodiscard]] Image* IMGRotate(const Image* source, int32_t angle);

// The points of the line from (x0, y0) to (x1, y1): element 0 holds 2n, then n
// points as x, y pairs, first (x0, y0), last (x1, y1). Freed with free(). None
// after a report if the list cannot be allocated.
[[nodiscard]] int32_t* IMGLinePoints(int32_t x0, int32_t y0, int32_t x1,
                                     int32_t y1);
