// Helpers shared by the sources of the REC module; not part of its interface.
#pragma once

#include <cstdio>
#include <string>

namespace rec_internal {

// A file being written under a temporary name next to its target. The
// temporary file is removed unless Commit renamed it over the target.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates the temporary file with a stream of its own. False (with the
  // reason in *error) when it cannot be created.
  bool Create(const char* target, std::string* error);
  FILE* stream() const { return file_; }

  // Closes the stream and renames the file over the target. False (with the
  // reason in *error) when a write failed, or the close or the rename did.
  bool Commit(std::string* error);

 private:
  std::string target_, temp_;
  FILE* file_ = nullptr;
};

// Sets *error (when not none) to "cannot write TARGET: REASON".
void SetError(std::string* error, const std::string& target,
              const std::string& reason);

}  // namespace rec_internal
