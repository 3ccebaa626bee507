#include "fuzz/fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {
namespace {

std::string output;
std::string scratchPaths[4];

ssize_t WriteOutput(void*, const char* bytes, size_t size) {
  output.append(bytes, size);
  return static_cast<ssize_t>(size);
}

// Scratch files live in memory where the system offers a tmpfs: the file
// targets write one file per input.
std::string ScratchFolder() {
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) &&
      access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

void RemoveScratchFiles() {
  for (const std::string& path : scratchPaths)
    if (!path.empty()) std::remove(path.c_str());
}

}  // namespace

void CaptureStdout() {
  std::fflush(stdout);
  cookie_io_functions_t io = {};
  io.write = WriteOutput;
  FILE* stream = fopencookie(nullptr, "w", io);
  if (!stream) Fail("standard output can be captured");
  std::setvbuf(stream, nullptr, _IONBF, 0);
  stdout = stream;
  output.reserve(4096);
}

const std::string& Output() { return output; }
void ClearOutput() { output.clear(); }

void Fail(const char* property) {
  std::fprintf(stderr, "fuzz: property broken: %s\n", property);
  std::abort();
}

void CheckReports(bool failed, const char* operation) {
  const std::string expected = failed ? "IMG error\n" : "";
  if (output != expected) {
    std::fprintf(stderr, "fuzz: %s %s and wrote \"%s\"\n", operation,
                 failed ? "failed" : "succeeded", output.c_str());
    Fail("one report per failure, none on success");
  }
}

const char* ScratchPath(const char* purpose) {
  for (std::string& path : scratchPaths) {
    if (path.empty()) {
      path = ScratchFolder() + "/intro-fuzz-" + std::to_string(getpid()) + "-" +
             purpose;
      static bool registered = std::atexit(RemoveScratchFiles) == 0;
      (void)registered;
      return path.c_str();
    }
  }
  Fail("few scratch files");
}

bool WriteFile(const char* path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace fuzz
