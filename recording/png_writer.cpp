// One frame as an 8-bit RGB PNG through libpng.
#include <png.h>

#include <csetjmp>
#include <memory>
#include <new>

#include "common/output_file.h"
#include "recording/recording.h"
#include "recording/recording_internal.h"

namespace {

// zlib's fastest level: the frames are mostly black and text, which it packs
// nearly as well as the default level does, several times faster.
constexpr int kCompressionLevel = 1;

void OnError(png_structp png, png_const_charp message) {
  auto* reason = static_cast<const char**>(png_get_error_ptr(png));
  *reason = message;
  std::longjmp(png_jmpbuf(png), 1);
}

void OnWarning(png_structp, png_const_charp) {}

// libpng's output: the file's own buffer, so there is nothing to flush here.
void OnWrite(png_structp png, png_bytep data, png_size_t size) {
  auto* file = static_cast<intro::OutputFile*>(png_get_io_ptr(png));
  if (!file->Write(data, size)) png_error(png, "write failed");
}

void OnFlush(png_structp) {}

// Writes image to file through row, which holds 3 * width bytes. Only plain
// data lives here, since libpng leaves by longjmp on an error. None on
// success, else the reason.
const char* Encode(intro::OutputFile* file, const Image* image, png_bytep row) {
  const char* reason = nullptr;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason,
                                            OnError, OnWarning);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return reason ? reason : "write failed";
  }
  png_set_write_fn(png, file, OnWrite, OnFlush);
  png_set_compression_level(png, kCompressionLevel);
  png_set_IHDR(png, info, image->width, image->height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < image->height; ++y) {
    const uint32_t* px = image->pixels + static_cast<size_t>(y) * image->width;
    png_bytep out = row;
    for (int32_t x = 0; x < image->width; ++x, out += 3) {
      out[0] = static_cast<png_byte>(px[x] >> 16);
      out[1] = static_cast<png_byte>(px[x] >> 8);
      out[2] = static_cast<png_byte>(px[x]);
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return nullptr;
}

}  // namespace

bool RECPngSave(const Image* image, const char* filename, std::string* error) {
  if (!image || !image->pixels || !filename || image->width <= 0 ||
      image->height <= 0) {
    if (error) *error = "bad PNG arguments";
    return false;
  }
  std::unique_ptr<png_byte[]> row(new (std::nothrow)
                                      png_byte[3 * size_t(image->width)]);
  if (!row) {
    rec_internal::SetError(error, filename, "out of memory");
    return false;
  }
  intro::OutputFile file;
  if (!file.Open(filename)) {
    if (error) *error = file.Reason();
    return false;
  }
  if (const char* reason = Encode(&file, image, row.get())) {
    // A failed write has a reason of its own; libpng knows only that it
    // failed.
    if (file.error()) {
      if (error) *error = file.Reason();
    } else {
      rec_internal::SetError(error, filename, reason);
    }
    return false;
  }
  // Synced, as every frame file is: the recorder writes one a presentation.
  if (!file.Commit(true)) {
    if (error) *error = file.Reason();
    return false;
  }
  return true;
}
