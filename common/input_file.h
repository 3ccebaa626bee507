// Opening a file the program reads (a data file, a song) without ever
// blocking on it and without reading anything but a regular file: a FIFO, a
// device, a socket or a folder in its place is refused on the opened
// descriptor, with a reason a person can act on.
#pragma once

#include <sys/stat.h>

namespace intro {

// What a node is, for a report: "a folder", "a FIFO", "a character device",
// "a block device", "a socket", "a regular file" or "no regular file".
const char* NodeKind(mode_t mode);

// "it is a folder, not a regular file" and the like, for a node that is no
// regular file.
const char* NotRegularReason(mode_t mode);

// Opens path for reading (non-blocking, close-on-exec, never as the
// controlling terminal) and fills *st. The descriptor, or -1 with errno set
// and *reason saying why in a few words (strerror's, or NotRegularReason's
// with errno EINVAL).
int OpenRegularFile(const char* path, struct stat* st, const char** reason);

}  // namespace intro
