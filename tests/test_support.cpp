#include "tests/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

namespace test {

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("intro-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

Image* MakeImage(int32_t width, int32_t height,
                 const std::vector<uint32_t>& values) {
  Image* image = IMGNew();
  IMGResize(image, width, height);
  for (size_t i = 0; i < values.size() && i < size_t(width) * height; ++i)
    image->pixels[i] = values[i];
  return image;
}

std::vector<uint32_t> Pixels(const Image* image) {
  return std::vector<uint32_t>(
      image->pixels, image->pixels + size_t(image->width) * image->height);
}

std::string Grid(const TextScreen* screen) {
  std::string out;
  for (int32_t r = 0; r < screen->rows; ++r) {
    if (r) out += '\n';
    for (int32_t c = 0; c < screen->cols; ++c)
      out += static_cast<char>(screen->cells[r * screen->cols + c] & 0xFF);
  }
  return out;
}

}  // namespace test
