// The temporary output file behind every recording: written next to its
// target, renamed over it only once complete.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "recording/recording_internal.h"

namespace rec_internal {

namespace {

// The stream's buffer: large enough that writes cost little next to the
// encoding.
constexpr size_t kStreamBuffer = 256 * 1024;

}  // namespace

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
  if (!temp_.empty()) unlink(temp_.c_str());
}

bool OutputFile::Create(const char* target, std::string* error) {
  static std::atomic<unsigned> counter{0};
  target_ = target;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = target_ + "." + std::to_string(getpid()) + "-" +
                       std::to_string(counter++) + ".tmp";
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      SetError(error, target_, std::strerror(errno));
      return false;
    }
    temp_ = name;
    file_ = fdopen(fd, "wb");
    if (!file_) {
      SetError(error, target_, std::strerror(errno));
      close(fd);
      return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
    return true;
  }
  SetError(error, target_, "no free temporary name");
  return false;
}

bool OutputFile::Commit(std::string* error) {
  if (!file_) {
    SetError(error, target_, "not open");
    return false;
  }
  bool ok = !std::ferror(file_);
  int saved = errno;
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  file_ = nullptr;
  if (!ok) {
    SetError(error, target_, saved ? std::strerror(saved) : "write failed");
    return false;
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    SetError(error, target_, std::strerror(errno));
    return false;
  }
  temp_.clear();
  return true;
}

void SetError(std::string* error, const std::string& target,
              const std::string& reason) {
  if (error) *error = "cannot write " + target + ": " + reason;
}

}  // namespace rec_internal
