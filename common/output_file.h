// Output files: the one way every program writes a file, whatever its format.
//
// An OutputFile replaces its target only once the new contents are complete:
// - The target is the file a name finally stands for: symlinks are followed
//   (relative ones from the link's own folder) and stay symlinks; a missing
//   file at the end of a dangling link is created.
// - Only a regular file is ever replaced. A device, FIFO, socket or folder
//   under the name is refused before anything is written, and left untouched.
//   Nothing is ever opened under the target's name, so no open can block.
// - The new contents go to a file that is not yet the target, in the target's
//   folder: an unnamed file where the file system offers one, so a process
//   killed midway leaves nothing behind; elsewhere a short hidden name
//   (".t" and six letters, so any legal target name works), removed on every
//   failure. Commit gives the complete file the target's name at once; no
//   file under its final name is ever partial, also on a full disk. (A link
//   cannot replace a name, so an unnamed replacement takes a hidden name for
//   the instant before its rename: a kill in that instant leaves it.)
// - A replaced file's permission bits, set-id bits included, and its owner
//   (where the caller may give it away) pass to the new file; a new file gets
//   0666 less the umask. Other hard links to the old file keep the old
//   contents.
// - Commit(true) syncs the file and then its folder, so the new contents
//   survive a crash once it returns; a program that writes many files may
//   commit them unsynced and sync once at the end.
//
// Failures return false, leave errno set (error() keeps it) and have a
// one-line Reason(); nothing throws, nothing is printed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace intro {

// How an OutputFile writes; the defaults suit any caller.
struct OutputOptions {
  // Bytes gathered before they go to the file in one write; 0 sends every
  // Write straight through (for a caller that writes in large blocks).
  size_t buffer = 64 * 1024;
  // False: always a hidden name, never an unnamed file, as on a file system
  // that has none.
  bool unnamed = true;
};

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();  // discards the new contents unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Starts the replacement of the file at path. False when the name cannot
  // be followed, names no regular file (errno EISDIR for a folder or a name
  // ending in "/", EEXIST for any other node), or the folder refuses a new
  // file. An OutputFile opens once, whatever the outcome.
  bool Open(const char* path, const OutputOptions& options = {});

  // Appends size bytes. False on a write error; every later Write and the
  // Commit then fail too.
  bool Write(const void* data, size_t size);

  // Writes size bytes over what was written so far, at offset (a header
  // that is known only at the end), after what Write buffered; Write goes on
  // after the end as before. The bytes must lie within what was written.
  // False on a write error, which fails every later Write and the Commit too.
  bool WriteAt(int64_t offset, const void* data, size_t size);

  // Writes what is buffered, gives the file the owner and mode of the file it
  // replaces, then the target's name; with sync, the file is synced before
  // and its folder after. Fails rather than replace anything other than a
  // regular file that appeared under the name meanwhile. False on any
  // failure, the target then as it was. The file is closed either way.
  bool Commit(bool sync);

  // Drops the new contents; the target is untouched. Does nothing when the
  // file is not open.
  void Discard();

  // True from a successful Open to the Commit or Discard.
  bool is_open() const;

  // The errno of the first failure; 0 when none.
  int error() const { return error_; }

  // The first failure as "cannot write PATH: REASON"; empty when none.
  std::string Reason() const;

 private:
  struct State;
  bool Fail();
  bool Flush();

  std::unique_ptr<State> state_;
  std::string path_;
  int error_ = 0;
  bool opened_ = false;
};

// "cannot write PATH: REASON", the line every writer's failure reads as.
std::string CannotWrite(const std::string& path, const std::string& reason);

// The same with the reason errnum stands for; a device, FIFO, socket or
// folder found at path (what EEXIST and EISDIR stand for in a refusal) is
// named as such.
std::string CannotWrite(const std::string& path, int errnum);

// Makes *path absolute from the working folder, unless it is already, so that
// it names the same file after a change of folder. False (errno set) when the
// working folder has no name (it was removed, or the memory ran out).
bool MakeAbsolute(std::string* path);

}  // namespace intro
