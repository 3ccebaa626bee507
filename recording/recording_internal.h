// Helpers shared by the sources of the REC module; not part of its interface.
#pragma once

#include <string>

#include "common/output_file.h"

namespace rec_internal {

// Sets *error (when not none) to "cannot write TARGET: REASON".
inline void SetError(std::string* error, const std::string& target,
                     const std::string& reason) {
  if (error) *error = intro::CannotWrite(target, reason);
}

}  // namespace rec_internal
