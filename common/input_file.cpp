#include "common/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace intro {

const char* NodeKind(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "no regular file";
}

const char* NotRegularReason(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder, not a regular file";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISCHR(mode)) return "it is a character device, not a regular file";
  if (S_ISBLK(mode)) return "it is a block device, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  return "it is not a regular file";
}

int OpenRegularFile(const char* path, struct stat* st, const char** reason) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return -1;
  }
  if (fstat(fd, st) != 0) {
    const int saved = errno;
    *reason = std::strerror(saved);
    close(fd);
    errno = saved;
    return -1;
  }
  if (!S_ISREG(st->st_mode)) {
    *reason = NotRegularReason(st->st_mode);
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace intro
