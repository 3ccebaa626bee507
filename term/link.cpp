// Frames written to the terminal without blocking.
#include <unistd.h>

#include <cerrno>
#include <new>

#include "term/term.h"

TermLink* TERMLinkNew(int fd) {
  auto* link = new (std::nothrow) TermLink{};
  if (link) link->fd = fd;
  return link;
}

void TERMLinkFree(TermLink** link) {
  if (!link || !*link) return;
  delete *link;
  *link = nullptr;
}

bool TERMLinkFlush(TermLink* link) {
  while (link->pendingSize > 0) {
    const ssize_t n = write(link->fd, link->pending, link->pendingSize);
    if (n > 0) {
      link->pending += n;
      link->pendingSize -= static_cast<size_t>(n);
      link->bytes += n;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return true;  // the terminal takes no more now
    } else {
      return false;
    }
  }
  return true;
}

bool TERMLinkSend(TermLink* link, const char* bytes, size_t size) {
  if (TERMLinkBusy(link)) return false;
  if (size == 0) return true;
  link->pending = bytes;
  link->pendingSize = size;
  ++link->frames;
  return TERMLinkFlush(link);
}
