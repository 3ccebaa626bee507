#include "tests/test_support.h"

#include <algorithm>
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

std::vector<std::string> Listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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
