// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "img/img.h"
#include "textscreen/stars.h"
#include "textscreen/textscreen.h"

namespace test {

// Everything f writes to standard output.
template <typename F>
std::string StdoutOf(F&& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// A fresh, empty folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const {
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// The names of the entries of folder, sorted.
std::vector<std::string> Listing(const std::filesystem::path& folder);

// An image of the given size holding values in index order (missing values 0).
Image* MakeImage(int32_t width, int32_t height,
                 const std::vector<uint32_t>& values);

// The pixels of image in index order.
std::vector<uint32_t> Pixels(const Image* image);

// Frees an image at the end of a scope.
struct ImageDeleter {
  void operator()(Image* image) const {
    if (image) IMGFree(&image);
  }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// A text screen or starfield that is freed at the end of a scope, and used
// where the raw handle is expected.
template <typename T, void (*Free)(T**)>
class Owned {
 public:
  explicit Owned(T* object) : object_(object) {}
  ~Owned() {
    if (object_) Free(&object_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  operator T*() const { return object_; }
  T* operator->() const { return object_; }

 private:
  T* object_;
};
using OwnedScreen = Owned<TextScreen, SCRFree>;
using OwnedStars = Owned<Starfield, STARSFree>;

// The grid as rows of characters (low byte of each cell) joined by '\n'.
std::string Grid(const TextScreen* screen);

// A number as part of a parameterised test's name: its digits, after "Minus"
// when it is negative (names hold letters and digits only).
inline std::string NameNumber(int64_t n) {
  return n < 0 ? "Minus" + std::to_string(-(n + 1) + uint64_t(1))
               : std::to_string(n);
}

// A text screen over cells the test owns, all blanks to start with.
struct CellScreen {
  std::vector<int32_t> cells;
  TextScreen screen{};
  CellScreen(int32_t cols, int32_t rows)
      : cells(size_t(cols) * size_t(rows), 32), screen{cols, rows, nullptr, 0} {
    screen.cells = cells.data();
  }
};

}  // namespace test
