// PNM reading and writing: the six formats P1-P6 through a file reader
// (IMGLoad) and a buffer reader (IMGParse) that share one header grammar but
// differ in how a number's ending byte and P1/P4 widths are treated, and the
// raw P6 writer (IMGSave).
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/output_file.h"
#include "img/img.h"
#include "img/img_internal.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// Header flags: what has been seen so far.
constexpr int kMagic = 1;
constexpr int kWidth = 2;
constexpr int kHeight = 4;
constexpr int kMaxval = 8;
constexpr int kComplete = kMagic | kWidth | kHeight | kMaxval;

// Maxval (and numbers past the third) are never used, so their digits are
// accumulated only up to this value and then dropped; nothing can overflow.
constexpr int32_t kUnusedNumberCap = 99999999;

// The file reader reads the header through the stream's buffer, and the
// raster in blocks of its own: as large as what is left of the file, between
// the two bounds; input of unknown size gets the larger one. A block is
// larger than the stream's buffer, so the stream reads it straight in rather
// than copying it through its buffer, and it holds at least two rows of the
// widest bitmap, the largest unit the raster is read in.
constexpr size_t kStreamBuffer = 4 * 1024;
constexpr size_t kBlockMin = 8 * 1024;
constexpr size_t kBlockMax = 256 * 1024;

// The writer converts this many pixels at a time into raw bytes and writes
// them with one call.
constexpr size_t kWriteChunkPixels = 65536;

// Version date of the IMG module, written into every P6 header.
constexpr const char* kVersionDate = "20081111";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct ImageDeleter {
  void operator()(Image* image) const { IMGFree(&image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// The 8 pixels of every bitmap byte, most significant bit first, 1 = white.
constexpr std::array<std::array<uint32_t, 8>, 256> kBitPixels = [] {
  std::array<std::array<uint32_t, 8>, 256> table{};
  for (int byte = 0; byte < 256; ++byte)
    for (int bit = 0; bit < 8; ++bit)
      table[byte][bit] = ((byte >> (7 - bit)) & 1) ? kWhite : 0;
  return table;
}();

// Bytes the header grammar skips between tokens: controls, space, DEL and
// everything from 0x80 up.
constexpr bool IsBlank(int c) { return c <= 0x20 || c >= 0x7F; }

constexpr bool IsDigit(int c) { return static_cast<unsigned>(c - '0') <= 9; }

// The header as read so far.
struct Header {
  int type = 0;  // 1 .. 6
  int flags = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t maxval = 0;

  void SetType(int digit) {
    type = digit;
    flags |= kMagic;
    if (type == 1 || type == 4) flags |= kMaxval;  // bitmaps have no maxval
  }

  // True when the next number is a side, which may not pass IMG_MAX_SIDE.
  bool NextIsSide() const {
    return (flags & (kWidth | kHeight)) != (kWidth | kHeight);
  }

  // Stores value in the first field still missing (dropped when none is) and
  // marks it seen. roundBitmapWidth rounds a P1/P4 width read after the magic
  // up to a multiple of 8, as the buffer reader does.
  void Store(int32_t value, bool roundBitmapWidth) {
    if (!(flags & kWidth)) {
      if (roundBitmapWidth && (flags & kMagic) && (type == 1 || type == 4))
        value = (value + 7) / 8 * 8;
      width = value;
      flags |= kWidth;
    } else if (!(flags & kHeight)) {
      height = value;
      flags |= kHeight;
    } else if (!(flags & kMaxval)) {
      maxval = value;
      flags |= kMaxval;
    }
  }
};

// Adds digit c to *value. False when a side passes IMG_MAX_SIDE; any other
// number just stops growing at kUnusedNumberCap.
inline bool Accumulate(int32_t* value, int c, bool isSide) {
  if (isSide) {
    *value = *value * 10 + (c - '0');
    return *value <= IMG_MAX_SIDE;
  }
  if (*value <= kUnusedNumberCap) *value = *value * 10 + (c - '0');
  return true;
}

// Least number of raster bytes a valid input of this header holds: one byte a
// sample for P1/P2/P3/P5/P6 (a plain sample takes at least one digit), one per
// 8 pixels for P4 (per row in a file, over the whole raster in a buffer).
int64_t MinRasterBytes(const Header& h, bool bitsPerRow) {
  int64_t n = static_cast<int64_t>(h.width) * h.height;
  switch (h.type) {
    case 3:
    case 6:
      return 3 * n;
    case 4:
      return bitsPerRow ? (h.width + 7) / 8 * static_cast<int64_t>(h.height)
                        : (n + 7) / 8;
    default:
      return n;
  }
}

// The image a read of header h needs, or none after a report: sides must be
// 1 .. IMG_MAX_SIDE (the limit was enforced digit by digit), at most
// IMG_MAX_PIXELS in all, and available must hold at least the raster's
// minimum size (available < 0: unknown, not checked).
//
// Allocation bound: the image takes 4 bytes a pixel and every format needs at
// least one input byte a pixel (P4: one per 8 pixels), so a read of an input
// of known size allocates at most 4 times that size (32 times for P4) plus the
// file reader's fixed buffers. Input of unknown size (a pipe) is bounded by
// IMG_MAX_PIXELS only.
ImagePtr NewForHeader(const Header& h, int64_t available, bool bitsPerRow) {
  if (h.width <= 0 || h.height <= 0 ||
      static_cast<int64_t>(h.width) * h.height > IMG_MAX_PIXELS ||
      (available >= 0 && MinRasterBytes(h, bitsPerRow) > available)) {
    IMGError();
    return nullptr;
  }
  // Every reader writes every pixel or frees the image, so the array need not
  // be zeroed first.
  return ImagePtr(img_internal::NewSized(h.width, h.height, false));
}

// ---- File reader ------------------------------------------------------------
//
// The header one character at a time through the stream; end of input reads
// as EOF (-1).

// Reads the header up to and including the byte that ends its last token.
// Every number consumes the byte that ends it, whatever that byte is; a token
// that starts with a byte other than a digit, "#" or the magic's "P" is that
// byte alone and reads as 0. False at end of input, on a bad type or a side
// over IMG_MAX_SIDE.
bool ReadFileHeader(FILE* file, Header* h) {
  // Past IMG_MAX_HEADER_BYTES the input reads as ended, so an endless stream
  // of blanks (/dev/zero) or of comments is malformed after bounded work.
  int32_t left = IMG_MAX_HEADER_BYTES;
  auto next = [&] { return left-- > 0 ? getc_unlocked(file) : EOF; };
  while (h->flags != kComplete) {
    int c = next();
    if (c == EOF) return false;
    if (IsBlank(c)) continue;
    if (c == 'P' && !(h->flags & kMagic)) {
      int type = next();
      if (type < '1' || type > '6') return false;
      h->SetType(type - '0');
    } else if (c == '#') {
      do {
        c = next();
        if (c == EOF) return false;
      } while (c != '\n');
    } else {
      const bool isSide = h->NextIsSide();
      int32_t value = 0;
      for (; IsDigit(c); c = next())
        if (!Accumulate(&value, c, isSide)) return false;
      h->Store(value, false);
    }
  }
  return left >= 0;  // a number may not end at the bound's false end
}

// The size of the regular file behind the stream, or -1 when it is no regular
// file (a pipe, a terminal) and its size is unknown.
int64_t FileSize(FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

// Bytes left after the stream's position in a file of the given size, or -1
// when either is unknown.
int64_t BytesLeft(FILE* file, int64_t size) {
  if (size < 0) return -1;
  long position = std::ftell(file);
  if (position < 0) return -1;
  int64_t left = size - position;
  return left < 0 ? 0 : left;
}

// ---- Buffer reader ----------------------------------------------------------
//
// Reads [p, end) and never past end. A number leaves the byte that ends it in
// place for the next step to skip.

// Reads the header and sets *raster to the byte after the one that follows the
// last token. end is never more than IMG_MAX_HEADER_BYTES past the start, so
// an overlong header ends the buffer. False when the buffer ends first, on a bad type, a side over
// IMG_MAX_SIDE, or a stray printable byte before the magic.
bool ReadBufferHeader(const uint8_t* p, const uint8_t* end, Header* h,
                      const uint8_t** raster) {
  while (h->flags != kComplete) {
    if (p == end) return false;
    int c = *p;
    if (IsBlank(c)) {
      ++p;
    } else if (c == 'P' && !(h->flags & kMagic)) {
      if (end - p < 2 || p[1] < '1' || p[1] > '6') return false;
      h->SetType(p[1] - '0');
      p += 2;
    } else if (c == '#') {
      p = static_cast<const uint8_t*>(std::memchr(p, '\n', end - p));
      if (!p) return false;
      ++p;
    } else if (IsDigit(c)) {
      const bool isSide = h->NextIsSide();
      int32_t value = 0;
      for (; p != end && IsDigit(*p); ++p)
        if (!Accumulate(&value, *p, isSide)) return false;
      h->Store(value, true);
    } else {
      // A printable non-digit is never consumed: each missing field reads it
      // as 0. Before the magic it would stall the header for ever.
      if (!(h->flags & kMagic)) return false;
      while (h->flags != kComplete) h->Store(0, true);
    }
  }
  if (p == end) return false;
  *raster = p + 1;
  return true;
}

// ---- Rasters -----------------------------------------------------------------
//
// Both readers fill the image from a window [next, end) onto the raster's
// bytes: the buffer reader's window is the rest of its buffer, the file
// reader's a block of the file, refilled as it is used up.

class RasterInput {
 public:
  // The bytes [p, end): all the input there is.
  RasterInput(const uint8_t* p, const uint8_t* end) : next(p), end(end) {}

  // The stream from its position on, read into block (size bytes). With
  // known false (a pipe, a terminal) no read asks for more than the raster
  // still needs, so that none waits for input that will never come.
  RasterInput(FILE* file, uint8_t* block, size_t size, bool known)
      : next(block), end(block), file_(file), block_(block), size_(size),
        known_(known) {}

  // Moves the bytes not used yet to the start of the block and reads more
  // after them; needed is the least number of raster bytes still to come
  // after those (at least 1). False when nothing more came: the input ended
  // (or failed), or it is a buffer.
  bool Refill(size_t needed) {
    if (!file_) return false;
    const size_t kept = static_cast<size_t>(end - next);
    std::memmove(block_, next, kept);
    size_t want = size_ - kept;
    if (!known_) want = std::min(want, std::max<size_t>(needed, 1));
    const size_t got = std::fread(block_ + kept, 1, want, file_);
    next = block_;
    end = block_ + kept + got;
    return got > 0;
  }

  const uint8_t* next;
  const uint8_t* end;

 private:
  FILE* file_ = nullptr;
  uint8_t* block_ = nullptr;
  size_t size_ = 0;
  bool known_ = true;
};

// Raw samples to pixels: three bytes red, green, blue, or one grey byte.
void ConvertRGB(const uint8_t* __restrict p, size_t count,
                uint32_t* __restrict px) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four bytes R, G, B and the next pixel's red, byte-swapped and shifted:
    // 0x00RRGGBB. The last pixel has no fourth byte and goes below.
    for (; i + 1 < count; ++i, p += 3) {
      uint32_t v;
      std::memcpy(&v, p, 4);
      px[i] = __builtin_bswap32(v) >> 8;
    }
  }
  for (; i < count; ++i, p += 3)
    px[i] = static_cast<uint32_t>(p[0]) << 16 |
            static_cast<uint32_t>(p[1]) << 8 | p[2];
}

void ConvertGrey(const uint8_t* __restrict p, size_t count,
                 uint32_t* __restrict px) {
  for (size_t i = 0; i < count; ++i) px[i] = p[i] * 0x010101u;
}

// count bitmap pixels from the bits at p, most significant first.
void ConvertBits(const uint8_t* __restrict p, size_t count,
                 uint32_t* __restrict px) {
  const size_t whole = count / 8;
  for (size_t k = 0; k < whole; ++k, px += 8)
    std::memcpy(px, kBitPixels[p[k]].data(), 8 * sizeof(uint32_t));
  if (count % 8)
    std::memcpy(px, kBitPixels[p[whole]].data(), count % 8 * sizeof(uint32_t));
}

// A file's raw raster (P4, P5, P6) as it arrives, block by block: pixels of
// three bytes or one, and bitmap rows, each starting on a byte boundary, whose
// fill bits are skipped. False when the input ends first.
bool ReadRawFileRaster(RasterInput& in, int type, Image* image) {
  uint32_t* px = image->pixels;
  const size_t width = static_cast<size_t>(image->width);
  if (type == 4) {
    const size_t rowBytes = (width + 7) / 8;
    for (size_t rowsLeft = static_cast<size_t>(image->height); rowsLeft;
         --rowsLeft, px += width) {
      while (static_cast<size_t>(in.end - in.next) < rowBytes)
        if (!in.Refill(rowsLeft * rowBytes - (in.end - in.next))) return false;
      ConvertBits(in.next, width, px);
      in.next += rowBytes;
    }
    return true;
  }
  const size_t unit = type == 6 ? 3 : 1;
  size_t left = width * static_cast<size_t>(image->height);
  while (left) {
    size_t available = static_cast<size_t>(in.end - in.next) / unit;
    if (!available) {
      if (!in.Refill(left * unit - (in.end - in.next))) return false;
      continue;
    }
    const size_t count = std::min(left, available);
    (type == 6 ? ConvertRGB : ConvertGrey)(in.next, count, px);
    in.next += count * unit;
    px += count;
    left -= count;
  }
  return true;
}

// A buffer's raw raster, checked to fit before the image was made. Bitmap
// bits run on over the whole raster, so row ends need not meet bytes.
void ReadRawBufferRaster(const uint8_t* p, int type, Image* image) {
  const size_t n = static_cast<size_t>(image->width) * image->height;
  switch (type) {
    case 6:
      ConvertRGB(p, n, image->pixels);
      return;
    case 5:
      ConvertGrey(p, n, image->pixels);
      return;
    default:
      ConvertBits(p, n, image->pixels);
  }
}

// Skips non-digits and reads one decimal number, leaving the byte after it for
// the next skip; the value wraps modulo 2^32 like the signed 32-bit sum it
// stands for. after: how many numbers the raster holds after this one, each
// at least one digit and one byte before it. False when the input ends before
// a digit; its end after digits ends the number.
inline bool ReadNumber(RasterInput& in, size_t after, uint32_t* value) {
  const size_t needed = 2 * after + 1;
  for (;;) {
    const uint8_t* p = in.next;
    while (p != in.end && !IsDigit(*p)) ++p;
    in.next = p;
    if (p != in.end) break;
    if (!in.Refill(needed)) return false;
  }
  uint32_t v = 0;
  for (;;) {
    const uint8_t* p = in.next;
    while (p != in.end && IsDigit(*p)) v = v * 10 + static_cast<uint32_t>(*p++ - '0');
    in.next = p;
    if (p != in.end || !in.Refill(needed)) break;
  }
  *value = v;
  return true;
}

// A plain raster (P1, P2, P3), from a file or a buffer alike. digitPixels: a
// bitmap pixel is one digit byte (the buffer reader's rule) rather than a
// whole number, 0 black and anything else white. False when the input ends
// first.
bool ReadPlainRaster(RasterInput& in, int type, bool digitPixels,
                     Image* image) {
  uint32_t* __restrict px = image->pixels;
  const size_t n = static_cast<size_t>(image->width) * image->height;
  switch (type) {
    case 3:
      for (size_t i = 0; i < n; ++i) {
        const size_t after = 3 * (n - i);
        uint32_t r, g, b;
        if (!ReadNumber(in, after - 1, &r) || !ReadNumber(in, after - 2, &g) ||
            !ReadNumber(in, after - 3, &b))
          return false;
        px[i] = r << 16 | g << 8 | b;
      }
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) {
        uint32_t v;
        if (!ReadNumber(in, n - i - 1, &v)) return false;
        px[i] = v << 16 | v << 8 | v;
      }
      return true;
    default:
      for (size_t i = 0; i < n; ++i) {
        if (digitPixels) {
          while (in.next != in.end && !IsDigit(*in.next)) ++in.next;
          if (in.next == in.end) return false;
          px[i] = *in.next++ != '0' ? kWhite : 0;
        } else {
          uint32_t v;
          if (!ReadNumber(in, n - i - 1, &v)) return false;
          px[i] = v ? kWhite : 0;
        }
      }
      return true;
  }
}

// ---- Writer -----------------------------------------------------------------

// Packs count pixels into 3 * count bytes red, green, blue at out, which has
// room for one byte more: each pixel is stored as 4 bytes and the next one
// overwrites the fourth.
void PackRGB(const uint32_t* __restrict px, size_t count,
             uint8_t* __restrict out) {
  if constexpr (std::endian::native == std::endian::little) {
    // Four pixels make three whole words; the rest go one word each.
    size_t i = 0;
    for (; i + 4 <= count; i += 4, out += 12) {
      uint32_t b0 = __builtin_bswap32(px[i]) >> 8;  // R, G, B, 0 in memory
      uint32_t b1 = __builtin_bswap32(px[i + 1]) >> 8;
      uint32_t b2 = __builtin_bswap32(px[i + 2]) >> 8;
      uint32_t b3 = __builtin_bswap32(px[i + 3]) >> 8;
      uint32_t w0 = b0 | b1 << 24, w1 = b1 >> 8 | b2 << 16,
               w2 = b2 >> 16 | b3 << 8;
      std::memcpy(out, &w0, 4);
      std::memcpy(out + 4, &w1, 4);
      std::memcpy(out + 8, &w2, 4);
    }
    for (; i < count; ++i, out += 3) {
      uint32_t bytes = __builtin_bswap32(px[i]) >> 8;
      std::memcpy(out, &bytes, 4);
    }
  } else {
    for (size_t i = 0; i < count; ++i, out += 3) {
      out[0] = static_cast<uint8_t>(px[i] >> 16);
      out[1] = static_cast<uint8_t>(px[i] >> 8);
      out[2] = static_cast<uint8_t>(px[i]);
    }
  }
}

// Writes the P6 header and the raster of image to file in large blocks from
// chunk, which holds 3 * kWriteChunkPixels + 1 bytes. False on a write error.
bool WriteP6(intro::OutputFile& file, const Image* image, uint8_t* chunk) {
  char header[256];
  const int length = std::snprintf(header, sizeof header,
                                   "P6\n%d %d\n"
                                   "# raw pixmap written by the IMG library\n"
                                   "# IMG version %s\n"
                                   "# samples: red, green, blue, one byte each\n"
                                   "255\n",
                                   image->width, image->height, kVersionDate);
  if (!file.Write(header, static_cast<size_t>(length))) return false;
  const uint32_t* px = image->pixels;
  size_t left = static_cast<size_t>(image->width) * image->height;
  while (left) {
    size_t count = left < kWriteChunkPixels ? left : kWriteChunkPixels;
    PackRGB(px, count, chunk);
    if (!file.Write(chunk, 3 * count)) return false;
    px += count;
    left -= count;
  }
  return true;
}

// The save itself, through a writer that replaces the target only once the
// file is complete and synced; false on any failure, with errno telling why.
bool Save(const Image* image, const char* filename) {
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow)
                                       uint8_t[3 * kWriteChunkPixels + 1]);
  if (!chunk) {
    errno = ENOMEM;
    return false;
  }
  // The raster goes out in whole chunks, so nothing is buffered.
  intro::OutputFile file;
  return file.Open(filename, {.buffer = 0}) &&
         WriteP6(file, image, chunk.get()) && file.Commit(true);
}

}  // namespace

Image* IMGLoad(const char* filename) {
  if (!filename) {
    IMGError();
    return nullptr;
  }
  // The stream buffer must outlive the stream, so it is declared first.
  std::unique_ptr<char[]> buffer;
  FilePtr file(std::fopen(filename, "rb"));
  if (!file) {
    IMGError();
    return nullptr;
  }
  const int64_t fileSize = FileSize(file.get());
  buffer.reset(new (std::nothrow) char[kStreamBuffer]);
  if (buffer) std::setvbuf(file.get(), buffer.get(), _IOFBF, kStreamBuffer);

  Header header;
  if (!ReadFileHeader(file.get(), &header)) {
    IMGError();
    return nullptr;
  }
  const int64_t left = BytesLeft(file.get(), fileSize);
  ImagePtr image = NewForHeader(header, left, true);
  if (!image) return nullptr;
  const size_t blockSize =
      left < 0 ? kBlockMax
               : static_cast<size_t>(std::clamp<int64_t>(
                     left, kBlockMin, static_cast<int64_t>(kBlockMax)));
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockSize]);
  if (!block) {
    IMGError();
    return nullptr;
  }
  RasterInput in(file.get(), block.get(), blockSize, left >= 0);
  const bool raw = header.type >= 4;
  if (!(raw ? ReadRawFileRaster(in, header.type, image.get())
            : ReadPlainRaster(in, header.type, false, image.get()))) {
    IMGError();
    return nullptr;
  }
  return image.release();
}

Image* IMGParse(const uint8_t* buffer, size_t size) {
  if (!buffer) {
    IMGError();
    return nullptr;
  }
  const uint8_t* end = buffer + size;
  const uint8_t* raster = nullptr;
  Header header;
  const uint8_t* headerEnd =
      size > size_t(IMG_MAX_HEADER_BYTES) ? buffer + IMG_MAX_HEADER_BYTES : end;
  if (!ReadBufferHeader(buffer, headerEnd, &header, &raster)) {
    IMGError();
    return nullptr;
  }
  ImagePtr image = NewForHeader(header, end - raster, false);
  if (!image) return nullptr;
  if (header.type >= 4) {
    ReadRawBufferRaster(raster, header.type, image.get());
    return image.release();
  }
  RasterInput in(raster, end);
  if (!ReadPlainRaster(in, header.type, true, image.get())) {
    IMGError();
    return nullptr;
  }
  return image.release();
}

bool IMGSave(const Image* image, const char* filename) {
  if (!image || !image->pixels || !filename || image->width <= 0 ||
      image->height <= 0) {
    IMGError();
    return false;
  }
  const bool saved = Save(image, filename);
  if (!saved) {
    const int why = errno;
    IMGError();
    errno = why;
  }
  return saved;
}
