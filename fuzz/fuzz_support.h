// Helpers shared by the fuzz targets: the library's reports routed into a
// buffer the targets can check, a private scratch file per process, a reader
// that draws parameters from the input, and a check that stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fuzz {

// Standard output goes into a buffer from now on, unbuffered, so every report
// of the library is seen as soon as it is made and nothing reaches the
// terminal. Call once, from LLVMFuzzerInitialize.
void CaptureStdout();

// Everything written to standard output since the last ClearOutput.
const std::string& Output();
void ClearOutput();

// Stops the run with a message naming the broken property; the fuzzer keeps
// the input as a crash.
[[noreturn]] void Fail(const char* property);
inline void Check(bool holds, const char* property) {
  if (!holds) Fail(property);
}

// The library's failure contract: an operation that returned none (failed)
// made exactly one report, one that succeeded made none.
void CheckReports(bool failed, const char* operation);

// The path of a scratch file private to this process (removed at exit), and
// writing size bytes into it. False if the file cannot be written.
const char* ScratchPath(const char* purpose);
bool WriteFile(const char* path, const uint8_t* data, size_t size);

// Draws fixed-size values from the front of the input, little-endian. An
// exhausted input yields zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Take() {
    uint8_t bytes[sizeof(T)] = {};
    const size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
    if (n) std::memcpy(bytes, data_, n);
    data_ += n;
    size_ -= n;
    uint64_t v = 0;
    for (size_t i = sizeof(T); i-- > 0;) v = v << 8 | bytes[i];
    return static_cast<T>(v);
  }

  // A value in [0, bound) from the next byte (bound <= 256) or two bytes.
  int32_t TakeBelow(int32_t bound) {
    if (bound <= 256) return Take<uint8_t>() % bound;
    return Take<uint16_t>() % bound;
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace fuzz
