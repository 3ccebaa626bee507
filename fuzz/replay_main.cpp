// Runs fuzz inputs outside the fuzzer: every regular file given, and every
// regular file directly inside every folder given (in name order; hidden files
// and *.md notes skipped), goes once through LLVMFuzzerTestOneInput. A broken
// property or a sanitizer finding ends the run; the input's name is the last
// line on standard error before it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc,
                                                          char*** argv);

namespace {

namespace fs = std::filesystem;

bool IsInput(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] != '.' && path.extension() != ".md";
}

bool Run(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
  std::fprintf(stderr, "replay: %s\n", path.c_str());
  // An exact-size copy, so that a read past the end is a read past the
  // block; never a null pointer, not even for an empty input (as in libFuzzer).
  std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), input.get());
  LLVMFuzzerTestOneInput(input.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path path(argv[i]);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(path))
        if (entry.is_regular_file() && IsInput(entry.path()))
          files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        if (!Run(file)) return 1;
        ++inputs;
      }
    } else {
      if (!Run(path)) return 1;
      ++inputs;
    }
  }
  std::fprintf(stderr, "replay: %d inputs, no failure\n", inputs);
  return 0;
}
