// Animated GIF recordings through giflib: changed rectangles, merged identical
// frames, per-frame palettes, delays rounded from the running total and split
// where one stored frame lasts longer than the delay field holds.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "common/output_file.h"
#include "recording/recording.h"
#include "recording/recording_internal.h"

namespace {

constexpr uint32_t kRGB = 0xFFFFFF;
constexpr int32_t kMaxColours = 256;
constexpr int32_t kMaxSide = 65535;
constexpr int64_t kMaxDelay = 65535;  // the delay field's 16 bits

// Colour lookup while a rectangle's palette is built: open addressing, four
// times as many slots as colours, emptied by moving on to a new stamp.
constexpr int32_t kSlotBits = 10;
constexpr int32_t kSlots = 1 << kSlotBits;

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

// The fixed palette of reduced frames: 3 bits of red, 3 of green, 2 of blue,
// each channel taken to its nearest level.
uint8_t ReducedIndex(uint32_t c) {
  uint32_t r = ((c >> 16 & 255) * 7 + 127) / 255,
           g = ((c >> 8 & 255) * 7 + 127) / 255,
           b = ((c & 255) * 3 + 127) / 255;
  return static_cast<uint8_t>(r << 5 | g << 2 | b);
}

uint32_t ReducedColour(int32_t i) {
  uint32_t r = ((i >> 5 & 7) * 255 + 3) / 7, g = ((i >> 2 & 7) * 255 + 3) / 7,
           b = ((i & 3) * 255 + 1) / 3;
  return r << 16 | g << 8 | b;
}

struct Rect {
  int32_t left, top, width, height;
};

}  // namespace

struct GifRecording {
  intro::OutputFile file;
  GifFileType* gif = nullptr;
  int32_t width = 0, height = 0, fps = 0, every = 0;
  std::string target;

  int64_t added = 0;    // frames given so far
  int64_t end = 0;      // where the last frame given ends, in centiseconds
  int64_t written = 0;  // frames in the file, the pending one not included
  bool broken = false;  // a write failed: nothing more is written

  // The last frame given, and what a viewer shows once the pending frame is
  // drawn. They differ only where a reduced frame's colours are shown.
  std::unique_ptr<uint32_t[]> source, shown;

  // The pending frame: written once its delay is known, that is when a frame
  // that differs arrives, or at the end.
  bool pending = false;
  Rect rect{};
  int64_t delay = 0;  // in centiseconds, any length: split when written
  int32_t colours = 0;
  std::unique_ptr<uint8_t[]> indices;  // rect.width * rect.height
  uint32_t palette[kMaxColours] = {};
  MapPtr maps[9];  // by bits per pixel, 1 to 8

  uint32_t slotColour[kSlots] = {};
  uint32_t slotStamp[kSlots] = {};
  uint8_t slotIndex[kSlots] = {};
  uint32_t stamp = 0;

  ~GifRecording() {
    if (gif) EGifCloseFile(gif, nullptr);
  }
};

namespace {

int WriteBytes(GifFileType* gif, const GifByteType* bytes, int count) {
  auto* file = static_cast<intro::OutputFile*>(gif->UserData);
  return count > 0 && file->Write(bytes, static_cast<size_t>(count)) ? count
                                                                     : 0;
}

// Sets *error to why the recording failed: the file's own reason when a
// write failed (giflib knows only that it did), else giflib's error code or
// the reason given.
void SetFailure(const GifRecording* r, std::string* error, int code,
                const char* reason) {
  if (!error) return;
  if (r->file.error())
    *error = r->file.Reason();
  else
    rec_internal::SetError(error, r->target,
                           code ? GifErrorString(code) : reason);
}

bool Fail(GifRecording* r, std::string* error, const char* reason) {
  r->broken = true;
  SetFailure(r, error, r->gif ? r->gif->Error : 0, reason);
  return false;
}

// round(100 * presentations / fps), the end of a stretch in centiseconds;
// presentations stays below 2^33, so nothing overflows.
int64_t Centiseconds(int64_t presentations, int32_t fps) {
  int64_t q = presentations / fps, r = presentations % fps;
  return 100 * q + (200 * r + fps) / (2 * fps);
}

// Whether the two frames hold the same colours (top bytes ignored).
bool SameColours(const GifRecording* r, const uint32_t* a, const uint32_t* b) {
  const size_t count = static_cast<size_t>(r->width) * r->height;
  if (std::memcmp(a, b, sizeof(uint32_t) * count) == 0) return true;
  for (size_t i = 0; i < count; ++i)
    if ((a[i] ^ b[i]) & kRGB) return false;
  return true;
}

// The smallest rectangle holding every pixel in which frame differs from
// what is shown (top bytes ignored); false when they are identical.
bool ChangedRect(const GifRecording* r, const uint32_t* frame, Rect* rect) {
  const int32_t w = r->width;
  int32_t top = -1, bottom = -1, left = w, right = -1;
  for (int32_t y = 0; y < r->height; ++y) {
    const uint32_t* a = frame + static_cast<size_t>(y) * w;
    const uint32_t* b = r->shown.get() + static_cast<size_t>(y) * w;
    if (std::memcmp(a, b, sizeof(uint32_t) * w) == 0) continue;
    int32_t x0 = 0;
    while (x0 < w && ((a[x0] ^ b[x0]) & kRGB) == 0) ++x0;
    if (x0 == w) continue;  // only top bytes differ
    int32_t x1 = w - 1;
    while (((a[x1] ^ b[x1]) & kRGB) == 0) --x1;
    if (top < 0) top = y;
    bottom = y;
    left = std::min(left, x0);
    right = std::max(right, x1);
  }
  if (top < 0) return false;
  *rect = {left, top, right - left + 1, bottom - top + 1};
  return true;
}

// Fills the pending frame's indices and palette from the rectangle of frame.
// False when it holds more than 256 colours: then the fixed palette is used.
bool Index(GifRecording* r, const uint32_t* frame) {
  if (++r->stamp == 0) {
    std::fill(std::begin(r->slotStamp), std::end(r->slotStamp), 0u);
    r->stamp = 1;
  }
  const uint32_t stamp = r->stamp;
  const Rect& q = r->rect;
  int32_t colours = 0;
  uint32_t last = ~0u;
  uint8_t lastIndex = 0;
  uint8_t* __restrict out = r->indices.get();
  for (int32_t y = 0; y < q.height; ++y) {
    const uint32_t* __restrict row =
        frame + static_cast<size_t>(q.top + y) * r->width + q.left;
    for (int32_t x = 0; x < q.width; ++x) {
      const uint32_t c = row[x] & kRGB;
      if (c != last) {
        uint32_t slot = (c * 0x9E3779B1u) >> (32 - kSlotBits);
        while (r->slotStamp[slot] == stamp && r->slotColour[slot] != c)
          slot = (slot + 1) & (kSlots - 1);
        if (r->slotStamp[slot] != stamp) {
          if (colours == kMaxColours) return false;
          r->slotStamp[slot] = stamp;
          r->slotColour[slot] = c;
          r->slotIndex[slot] = static_cast<uint8_t>(colours);
          r->palette[colours++] = c;
        }
        last = c;
        lastIndex = r->slotIndex[slot];
      }
      *out++ = lastIndex;
    }
  }
  r->colours = colours;
  return true;
}

void Reduce(GifRecording* r, const uint32_t* frame) {
  const Rect& q = r->rect;
  uint8_t* __restrict out = r->indices.get();
  for (int32_t y = 0; y < q.height; ++y) {
    const uint32_t* __restrict row =
        frame + static_cast<size_t>(q.top + y) * r->width + q.left;
    for (int32_t x = 0; x < q.width; ++x) *out++ = ReducedIndex(row[x]);
  }
  for (int32_t i = 0; i < kMaxColours; ++i) r->palette[i] = ReducedColour(i);
  r->colours = kMaxColours;
}

// How many frames a stored frame of delay centiseconds is written as: one,
// or as many as the delay field needs.
int64_t Pieces(int64_t delay) {
  return delay > kMaxDelay ? (delay + kMaxDelay - 1) / kMaxDelay : 1;
}

// Writes one frame: delay (0 to kMaxDelay), rectangle q, the first colours
// of palette and q's indices.
bool PutFrame(GifRecording* r, int64_t delay, const Rect& q,
              const uint32_t* palette, int32_t colours,
              const uint8_t* indices) {
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = static_cast<int>(delay);
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  int bits = 1;
  while ((1 << bits) < colours) ++bits;
  ColorMapObject* map = r->maps[bits].get();
  for (int32_t i = 0; i < map->ColorCount; ++i) {
    uint32_t c = i < colours ? palette[i] : 0;
    map->Colors[i] = {static_cast<GifByteType>(c >> 16),
                      static_cast<GifByteType>(c >> 8),
                      static_cast<GifByteType>(c)};
  }
  // giflib takes the line as writable, but only reads it.
  auto* line = const_cast<GifByteType*>(indices);
  if (EGifPutExtension(r->gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) ==
          GIF_ERROR ||
      EGifPutImageDesc(r->gif, q.left, q.top, q.width, q.height, false, map) ==
          GIF_ERROR ||
      EGifPutLine(r->gif, line, q.width * q.height) == GIF_ERROR)
    return false;
  ++r->written;
  return true;
}

// Writes the pending frame: its rectangle, palette and indices. A delay
// longer than the delay field holds is shared out as evenly as can be over
// that frame and frames of one unchanged pixel that follow it (no piece is
// only a hundredth or two, which viewers would stretch), adding up to the
// delay exactly.
bool WritePending(GifRecording* r, std::string* error) {
  const int64_t pieces = Pieces(r->delay);
  const int64_t share = r->delay / pieces, longer = r->delay % pieces;
  if (!PutFrame(r, share + (longer > 0), r->rect, r->palette, r->colours,
                r->indices.get()))
    return Fail(r, error, "write failed");
  const uint32_t still[1] = {r->shown[0] & kRGB};
  const uint8_t index[1] = {0};
  for (int64_t k = 1; k < pieces; ++k)
    if (!PutFrame(r, share + (k < longer), Rect{0, 0, 1, 1}, still, 1, index))
      return Fail(r, error, "write failed");
  r->pending = false;
  return true;
}

bool WriteHeader(GifRecording* r, std::string* error) {
  EGifSetGifVersion(r->gif, true);
  static const GifByteType kLoop[3] = {1, 0, 0};  // repeat count 0: forever
  if (EGifPutScreenDesc(r->gif, r->width, r->height, 8, 0, nullptr) ==
          GIF_ERROR ||
      EGifPutExtensionLeader(r->gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(r->gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
      EGifPutExtensionBlock(r->gif, 3, kLoop) == GIF_ERROR ||
      EGifPutExtensionTrailer(r->gif) == GIF_ERROR)
    return Fail(r, error, "write failed");
  return true;
}

}  // namespace

GifRecording* RECGifOpen(const char* filename, int32_t width, int32_t height,
                         int32_t fps, int32_t every, std::string* error) {
  if (!filename || width < 1 || width > kMaxSide || height < 1 ||
      height > kMaxSide || fps < 1 || fps > 1000 || every < 1) {
    if (error) *error = "bad GIF recording arguments";
    return nullptr;
  }
  std::unique_ptr<GifRecording> r(new (std::nothrow) GifRecording);
  const size_t pixels = static_cast<size_t>(width) * height;
  if (r) {
    r->source.reset(new (std::nothrow) uint32_t[pixels]);
    r->shown.reset(new (std::nothrow) uint32_t[pixels]);
    r->indices.reset(new (std::nothrow) uint8_t[pixels]);
    for (int bits = 1; bits <= 8; ++bits)
      r->maps[bits].reset(GifMakeMapObject(1 << bits, nullptr));
  }
  if (!r || !r->source || !r->shown || !r->indices ||
      std::any_of(r->maps + 1, r->maps + 9,
                  [](const MapPtr& m) { return !m; })) {
    rec_internal::SetError(error, filename, "out of memory");
    return nullptr;
  }
  r->target = filename;
  r->width = width;
  r->height = height;
  r->fps = fps;
  r->every = every;
  if (!r->file.Open(filename)) {
    if (error) *error = r->file.Reason();
    return nullptr;
  }
  int code = 0;
  r->gif = EGifOpen(&r->file, WriteBytes, &code);
  if (!r->gif) {
    SetFailure(r.get(), error, code, "cannot start the GIF");
    return nullptr;
  }
  if (!WriteHeader(r.get(), error)) return nullptr;
  return r.release();
}

bool RECGifAdd(GifRecording* r, const Image* frame, bool* reduced,
               std::string* error) {
  if (reduced) *reduced = false;
  if (!r || r->broken) {
    if (error) *error = "GIF recording not open";
    return false;
  }
  if (!frame || !frame->pixels || frame->width != r->width ||
      frame->height != r->height) {
    rec_internal::SetError(error, r->target, "frame size differs");
    return false;
  }
  const uint32_t* px = frame->pixels;
  const int64_t end =
      Centiseconds((r->added + 1) * static_cast<int64_t>(r->every), r->fps);
  const int64_t delay = end - r->end;
  r->end = end;
  ++r->added;

  Rect rect{0, 0, r->width, r->height};
  if (r->pending &&
      (SameColours(r, px, r->source.get()) || !ChangedRect(r, px, &rect))) {
    r->delay += delay;  // the same picture lasts longer
    return true;
  }
  if (r->pending && !WritePending(r, error)) return false;
  r->rect = rect;
  r->delay = delay;
  const bool exact = Index(r, px);
  if (!exact) {
    Reduce(r, px);
    if (reduced) *reduced = true;
  }
  const uint8_t* index = r->indices.get();
  for (int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    const size_t at = static_cast<size_t>(y) * r->width + rect.left;
    if (exact) {
      std::memcpy(r->shown.get() + at, px + at, sizeof(uint32_t) * rect.width);
    } else {
      for (int32_t x = 0; x < rect.width; ++x)
        r->shown[at + x] = r->palette[*index++];
    }
  }
  std::memcpy(r->source.get(), px, sizeof(uint32_t) * r->width * r->height);
  r->pending = true;
  return true;
}

bool RECGifClose(GifRecording** gif, std::string* error) {
  if (!gif || !*gif) {
    if (error) *error = "GIF recording not open";
    return false;
  }
  std::unique_ptr<GifRecording> r(*gif);
  *gif = nullptr;
  if (r->broken) {
    rec_internal::SetError(error, r->target, "an earlier write failed");
    return false;
  }
  if (!r->pending) {  // a GIF without a picture opens nowhere
    rec_internal::SetError(error, r->target, "no frame to write");
    return false;
  }
  if (!WritePending(r.get(), error)) return false;
  int code = 0;
  GifFileType* g = r->gif;
  r->gif = nullptr;
  if (EGifCloseFile(g, &code) == GIF_ERROR) {
    SetFailure(r.get(), error, code, "write failed");
    return false;
  }
  // One sync for the whole recording, once it is complete.
  if (!r->file.Commit(true)) {
    if (error) *error = r->file.Reason();
    return false;
  }
  return true;
}

void RECGifDiscard(GifRecording** gif) {
  if (!gif) return;
  delete *gif;
  *gif = nullptr;
}

int32_t RECGifStoredFrames(const GifRecording* gif) {
  if (!gif) return 0;
  const int64_t stored =
      gif->written + (gif->pending ? Pieces(gif->delay) : int64_t{0});
  return stored < INT32_MAX ? static_cast<int32_t>(stored) : INT32_MAX;
}
