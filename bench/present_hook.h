// Called by the benchmark programs' present after every presentation, when
// set: a benchmark that runs the real scenes watches their frames with it.
#pragma once

namespace bench {

extern void (*presentHook)();

}  // namespace bench
