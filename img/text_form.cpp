// The textual image form: a plain P3 pixmap between "IMG{" and "}", written
// into one buffer sized in advance and read back from any text holding such a
// block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "img/img.h"
#include "img/img_internal.h"

namespace {

constexpr char kEmptyForm[] = "IMG{}";
constexpr int32_t kPixelChars = 12;  // "%3d %3d %3d " per pixel
constexpr int32_t kPixelsPerLine = 6;

// "%3d " for every channel value, so a pixel is three 4-byte copies.
struct ChannelFields {
  char text[256][4];
  constexpr ChannelFields() : text{} {
    for (int v = 0; v < 256; ++v) {
      text[v][0] = v >= 100 ? static_cast<char>('0' + v / 100) : ' ';
      text[v][1] = v >= 10 ? static_cast<char>('0' + v / 10 % 10) : ' ';
      text[v][2] = static_cast<char>('0' + v % 10);
      text[v][3] = ' ';
    }
  }
};
constexpr ChannelFields kFields;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a header number: the run of digits at *p (0 when there is none).
// False when the value does not fit in a signed 32-bit integer; the whole run
// is consumed either way.
bool ReadHeaderNumber(const char** p, int32_t* value) {
  int64_t v = 0;
  bool fits = true;
  for (; IsDigit(**p); ++*p) {
    v = v * 10 + (**p - '0');
    if (v > INT32_MAX) {
      fits = false;
      v = INT32_MAX;  // keeps the accumulator from growing further
    }
  }
  *value = static_cast<int32_t>(v);
  return fits;
}

// Steps over the one character that ends a header token. False at the end of
// the text: the block is cut short.
bool StepOver(const char** p) {
  if (**p == '\0') return false;
  ++*p;
  return true;
}

// Reads one channel: skips non-digits, then takes the run of digits. The
// value wraps modulo 2^32 like the signed 32-bit accumulation it stands for.
// False when the text ends before a digit is found.
bool ReadChannel(const char** p, uint32_t* value) {
  const char* s = *p;
  while (!IsDigit(*s)) {
    if (*s == '\0') return false;
    ++s;
  }
  uint32_t v = 0;
  for (; IsDigit(*s); ++s) v = v * 10u + static_cast<uint32_t>(*s - '0');
  *p = s;
  *value = v;
  return true;
}

}  // namespace

char* IMGToASCII(const Image* image) {
  // A negative side is malformed (IMGResize never makes one): report.
  if (!image || !image->pixels || image->width < 0 || image->height < 0) {
    IMGError();
    return nullptr;
  }
  const int64_t n = static_cast<int64_t>(image->width) * image->height;
  if (n <= 0) {
    auto* text = static_cast<char*>(std::calloc(1, sizeof kEmptyForm));
    if (!text) {
      IMGError();
      return nullptr;
    }
    std::memcpy(text, kEmptyForm, sizeof kEmptyForm);
    return text;
  }

  // The header is 14 characters plus the digits of width and height, then
  // come 12 characters a pixel, "}\n" and the terminator. So 12n + n/6 + 29
  // fits when the two sizes have at most n/6 + 12 digits together: two sides
  // of up to six digits have at most 12, and a side of seven or more digits
  // means n >= 10^6.
  const size_t size = static_cast<size_t>(12 * n + n / 6 + 29);
  auto* text = static_cast<char*>(std::calloc(size, 1));
  if (!text) {
    IMGError();
    return nullptr;
  }
  const int header = std::snprintf(text, size, "IMG{\nP3\n%d %d\n255\n",
                                   image->width, image->height);

  char* out = text + header;
  const uint32_t* px = image->pixels;
  for (int64_t j = 0; j < n; ++j, out += kPixelChars) {
    const uint32_t v = px[j];
    std::memcpy(out, kFields.text[(v >> 16) & 0xFF], 4);
    std::memcpy(out + 4, kFields.text[(v >> 8) & 0xFF], 4);
    std::memcpy(out + 8, kFields.text[v & 0xFF], 4);
    if ((j + 1) % kPixelsPerLine == 0) out[kPixelChars - 1] = '\n';
  }
  out[-1] = '\n';
  out[0] = '}';
  out[1] = '\n';
  return text;
}

Image* IMGFromASCII(const char* text) {
  if (!text) {
    IMGError();
    return nullptr;
  }
  const char* p = text;
  for (const char* marker : {"IMG", "{", "P3\n"}) {
    const int32_t past = IMGFind(p, marker);
    if (past == 0) {
      IMGError();
      return nullptr;
    }
    p += past;
  }

  int32_t width = 0;
  int32_t height = 0;
  if (!ReadHeaderNumber(&p, &width) || !StepOver(&p) ||
      !ReadHeaderNumber(&p, &height) || !StepOver(&p)) {
    IMGError();
    return nullptr;
  }
  // The maxval is ignored, so it may be as long as it likes.
  while (IsDigit(*p)) ++p;
  if (!StepOver(&p)) {
    IMGError();
    return nullptr;
  }

  // Every pixel is three numbers of at least one digit, each separated from
  // the next by at least one non-digit, so n pixels need 6n - 1 characters.
  // Checking this before allocating keeps a short text from asking for a huge
  // image, and bounds the image by the size of the text.
  const int64_t n = static_cast<int64_t>(width) * height;
  if (n > INT32_MAX ||
      (n > 0 && static_cast<uint64_t>(6 * n - 1) > std::strlen(p))) {
    IMGError();
    return nullptr;
  }

  // Every pixel is read below, or the image is freed: no zeroing first.
  Image* image = img_internal::NewSized(width, height, false);
  if (!image) return nullptr;  // NewSized has reported

  uint32_t* px = image->pixels;
  for (int64_t i = 0; i < n; ++i) {
    uint32_t r, g, b;
    if (!ReadChannel(&p, &r) || !ReadChannel(&p, &g) || !ReadChannel(&p, &b)) {
      IMGFree(&image);
      IMGError();
      return nullptr;
    }
    px[i] = r * 65536u | g * 256u | b;
  }
  return image;
}

int32_t IMGFind(const char* text, const char* pattern) {
  if (!text || !pattern) {
    IMGError();
    return 0;
  }
  if (*pattern == '\0') return 0;
  const char* found = std::strstr(text, pattern);
  if (!found) return 0;
  const size_t past = static_cast<size_t>(found - text) + std::strlen(pattern);
  // An index beyond the 32-bit range cannot be returned; such a text is too
  // long to hold a match the callers could use.
  return past > static_cast<size_t>(INT32_MAX) ? 0 : static_cast<int32_t>(past);
}
