// Output files: the target resolved through its symlinks, the new contents in
// an unnamed or hidden file beside it, given the target's name once complete.
#include "common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "common/descriptor_internal.h"
#include "common/input_file.h"

namespace intro {

namespace {

// Links followed before a name counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

// Attempts at a free hidden name before giving up.
constexpr int kNameAttempts = 100;

// Where a write goes: the folder of the file the name finally stands for
// (symlinks followed) and the name within it, and what is there now.
struct Target {
  std::string folder;  // "." for a bare name
  std::string base;
  bool exists = false;
  struct stat st {};
};

// Follows path through its symlinks to the name of what a write should
// change. False (errno set) on a loop, a failed lookup or a name that ends in
// a slash. Only lstat and readlink look at the names: nothing is opened.
bool ResolveTarget(const char* name, Target* target) {
  std::string path = name;
  for (int links = 0;; ++links) {
    if (path.empty() || path.back() == '/') {
      errno = EISDIR;
      return false;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      target->exists = false;
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      target->exists = true;
      target->st = st;
      break;
    }
    if (links == kMaxLinks) {
      errno = ELOOP;
      return false;
    }
    std::string link(
        static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= link.size()) {
      errno = ENAMETOOLONG;  // the link grew while it was read
      return false;
    }
    link.resize(static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (link.front() == '/' || slash == std::string::npos) {
      path.swap(link);
    } else {
      path.erase(slash + 1);
      path.append(link);
    }
  }
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    target->base.swap(path);
    target->folder.push_back('.');
  } else {
    target->base.assign(path, slash + 1, std::string::npos);
    path.resize(slash == 0 ? 1 : slash);  // "/" for a file at the root
    target->folder.swap(path);
  }
  return true;
}


// Writes all n bytes; false (errno set) on an error.
bool WriteAll(int fd, const char* p, size_t n) {
  while (n) {
    ssize_t done = write(fd, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

// The new contents, in a file that is not yet the target: an unnamed file in
// the target's folder where the kernel offers one (O_TMPFILE), elsewhere a
// short hidden name, removed when the object goes unless Commit took it.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    if (named_) unlinkat(dir_, name_, 0);
  }

  // Creates the file in the folder open as dir, with mode (less the umask);
  // unnamed false goes straight to a hidden name.
  bool Create(int dir, mode_t mode, bool unnamed) {
    dir_ = dir;
#ifdef O_TMPFILE
    // Giving the unnamed file a name goes through /proc/self/fd.
    if (unnamed && access("/proc/self/fd", X_OK) == 0) {
      fd_.reset(openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
      if (fd_.get() >= 0) return true;
      // Not offered by this kernel or file system: fall back to a name.
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return false;
    }
#else
    (void)unnamed;
#endif
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      NextName();
      fd_.reset(
          openat(dir_, name_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
      if (fd_.get() >= 0) {
        named_ = true;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  int fd() const { return fd_.get(); }

  // Gives the written file the name base in the folder: replaces the regular
  // file there when replace is set; otherwise fails rather than replace
  // anything that appeared meanwhile. With sync, the folder is synced after.
  bool Commit(const char* base, bool replace, bool sync) {
    if (!named_) {
      if (!replace) return LinkUnnamed(base) && SyncFolder(sync);
      if (!LinkUnnamed(nullptr)) return false;
    }
    if (!replace) {
      // Linking fails on an existing name; the hidden name then goes.
      if (linkat(dir_, name_, dir_, base, 0) != 0) return false;
    } else {
      // Only a regular file is replaced, even one that appeared meanwhile.
      struct stat st;
      if (fstatat(dir_, base, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
        return false;
      }
      if (renameat(dir_, name_, dir_, base) != 0) return false;
      named_ = false;  // the hidden name is the target's now
    }
    return SyncFolder(sync);
  }

 private:
  // ".t" and six letters or digits: far within NAME_MAX whatever the target
  // is called. The process, a counter and the clock pick them, and O_EXCL
  // makes sure the name is new.
  void NextName() {
    static constexpr char kDigits[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static std::atomic<uint32_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t v = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15u ^
                 (counter.fetch_add(1) + 1) * 0xC2B2AE3D27D4EB4Fu ^
                 static_cast<uint64_t>(now.tv_nsec);
    name_[0] = '.';
    name_[1] = 't';
    for (int i = 2; i < 8; ++i, v /= 62) name_[i] = kDigits[v % 62];
    name_[8] = '\0';
  }

  // Links the unnamed file into the folder as base, or under a fresh hidden
  // name when base is none.
  bool LinkUnnamed(const char* base) {
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_.get());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      const char* name = base;
      if (!name) {
        NextName();
        name = name_;
      }
      if (linkat(AT_FDCWD, self, dir_, name, AT_SYMLINK_FOLLOW) == 0 ||
          linkat(fd_.get(), "", dir_, name, AT_EMPTY_PATH) == 0) {
        named_ = !base;
        return true;
      }
      if (base || errno != EEXIST) return false;
    }
    return false;
  }

  // A folder that cannot be synced (EINVAL: the file system has no way to)
  // is no failure.
  bool SyncFolder(bool sync) {
    return !sync || fsync(dir_) == 0 || errno == EINVAL;
  }

  int dir_ = -1;
  Descriptor fd_;
  char name_[9] = {};
  bool named_ = false;
};

}  // namespace

// The open file: the target as found, its folder, the new contents and their
// buffer. The pending file comes after the folder, so that it goes first: it
// removes its hidden name through the folder.
struct OutputFile::State {
  Target target;
  Descriptor dir;
  PendingFile file;
  std::unique_ptr<char[]> buffer;  // made by the first write that needs it
  size_t capacity = 0;
  size_t used = 0;
  bool failed = false;
};

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const char* path, const OutputOptions& options) {
  if (!path || opened_) {
    errno = EINVAL;
    return Fail();
  }
  opened_ = true;
  try {
    path_ = path;
    auto state = std::make_unique<State>();
    if (!ResolveTarget(path, &state->target)) return Fail();
    const Target& target = state->target;
    // Only a regular file is ever replaced: a device, FIFO, socket or folder
    // under the name stays as it is.
    if (target.exists && !S_ISREG(target.st.st_mode)) {
      errno = S_ISDIR(target.st.st_mode) ? EISDIR : EEXIST;
      return Fail();
    }
    // O_NONBLOCK: a FIFO put where the folder was never holds the open up.
    state->dir.reset(open(target.folder.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (state->dir.get() < 0) return Fail();
    // A replacement stays private until it gets the old file's mode at the
    // end; a new file gets the umask's.
    if (!state->file.Create(state->dir.get(), target.exists ? 0600 : 0666,
                            options.unnamed))
      return Fail();
    state->capacity = options.buffer;
    state_ = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return Fail();
  }
}

bool OutputFile::Write(const void* data, size_t size) {
  if (!state_ || state_->failed) {
    errno = error_ ? error_ : EBADF;
    return Fail();
  }
  if (size == 0) return true;
  State& s = *state_;
  const char* p = static_cast<const char*>(data);
  if (size > s.capacity - s.used) {
    if (!Flush()) return false;
    if (size >= s.capacity) return WriteAll(s.file.fd(), p, size) || Fail();
  }
  if (!s.buffer) {
    s.buffer.reset(new (std::nothrow) char[s.capacity]);
    if (!s.buffer) {
      errno = ENOMEM;
      return Fail();
    }
  }
  std::memcpy(s.buffer.get() + s.used, p, size);
  s.used += size;
  return true;
}

bool OutputFile::WriteAt(int64_t offset, const void* data, size_t size) {
  if (!state_ || state_->failed) {
    errno = error_ ? error_ : EBADF;
    return Fail();
  }
  if (offset < 0) {
    errno = EINVAL;
    return Fail();
  }
  if (!Flush()) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = pwrite(state_->file.fd(), p, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    p += n;
    offset += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Commit(bool sync) {
  if (!state_ || state_->failed) {
    errno = error_ ? error_ : EBADF;
    Fail();
    Discard();
    return false;
  }
  State& s = *state_;
  const int fd = s.file.fd();
  bool ok = Flush();
  if (ok && s.target.exists) {
    // After the last write, since a write by a caller without the privilege
    // to keep them clears the set-id bits; the owner before the mode, since a
    // change of owner clears them too.
    ok = (fchown(fd, s.target.st.st_uid, s.target.st.st_gid) == 0 ||
          errno == EPERM || errno == EINVAL) &&
         fchmod(fd, s.target.st.st_mode & 07777) == 0;
    if (!ok) Fail();
  }
  if (ok && ((sync && fsync(fd) != 0) ||
             !s.file.Commit(s.target.base.c_str(), s.target.exists, sync))) {
    ok = false;
    Fail();
  }
  Discard();
  if (!ok) errno = error_;
  return ok;
}

void OutputFile::Discard() {
  if (!state_) return;
  const int saved = errno;
  state_.reset();
  errno = saved;
}

bool OutputFile::is_open() const { return state_ != nullptr; }

std::string OutputFile::Reason() const {
  if (!error_) return {};
  try {
    return CannotWrite(path_, error_);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

// Keeps the first failure's errno, marks the file failed and returns false
// with errno set to it.
bool OutputFile::Fail() {
  if (!error_) error_ = errno ? errno : EIO;
  if (state_) state_->failed = true;
  errno = error_;
  return false;
}

// Writes the buffer out.
bool OutputFile::Flush() {
  State& s = *state_;
  if (!s.used) return true;
  const size_t n = s.used;
  s.used = 0;
  return WriteAll(s.file.fd(), s.buffer.get(), n) || Fail();
}

std::string CannotWrite(const std::string& path, const std::string& reason) {
  return "cannot write " + path + ": " + reason;
}

std::string CannotWrite(const std::string& path, int errnum) {
  if (errnum == EEXIST || errnum == EISDIR) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
      return CannotWrite(
          path, std::string(NodeKind(st.st_mode)) + ", not a regular file");
  }
  return CannotWrite(path, std::string(std::strerror(errnum)));
}

bool MakeAbsolute(std::string* path) {
  if (path->empty() || path->front() == '/') return true;
  char* here = getcwd(nullptr, 0);
  if (!here) return false;
  bool made = true;
  try {
    path->insert(0, std::string(here) + "/");
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    made = false;
  }
  std::free(here);
  return made;
}

}  // namespace intro
