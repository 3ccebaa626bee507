// Faults injected into a whole program run from outside, by LD_PRELOAD, for
// the recorder's tests. Switched by the environment:
//
//   INTRO_FAIL_ALLOCATION=k  the k-th allocation (from 0) made while main runs
//                            fails, as malloc fails when memory runs out (null,
//                            errno ENOMEM). SDL's own allocations (direct or
//                            through the C library) are neither counted nor
//                            failed: SDL 1.2 uses some of its failed
//                            allocations without looking. When the failure is
//                            injected, "injected" is written to the file named
//                            by INTRO_FAULT_REPORT.
//   INTRO_REFUSE_VIDEO_MODE=1  SDL_SetVideoMode refuses every mode with the
//                            reason "the test refuses every video mode".
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

struct SDL_Surface;  // SDL 1.2's, opaque here

namespace {

bool armed = false;      // main is running
long failAt = -1;        // from INTRO_FAIL_ALLOCATION
long counted = 0;
// Code ranges of the program itself and of the loaded SDL libraries.
struct Range {
  uintptr_t begin, end;
  bool sdl;
};
Range ranges[16];
int rangeCount = 0;
bool inHook = false;  // backtrace must not count its own allocations

int FindCode(dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name ? info->dlpi_name : "";
  const bool program = *name == '\0' && rangeCount == 0;  // listed first
  const bool sdl = std::strstr(name, "libSDL") != nullptr;
  if (!program && !sdl) return 0;
  for (int i = 0; i < info->dlpi_phnum && rangeCount < 16; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X)) continue;
    const uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
    ranges[rangeCount++] = {begin, begin + ph.p_memsz, sdl};
  }
  return 0;
}

// True when the allocation is made on SDL's behalf: the first caller, going
// outwards through the C and C++ libraries, that is SDL's or the program's
// own code is SDL's.
bool FromSdl() {
  void* frames[12];
  inHook = true;
  const int n = backtrace(frames, 12);
  inHook = false;
  for (int i = 1; i < n; ++i) {
    const auto at = reinterpret_cast<uintptr_t>(frames[i]);
    for (int r = 0; r < rangeCount; ++r)
      if (at >= ranges[r].begin && at < ranges[r].end) return ranges[r].sdl;
  }
  return false;
}

void Report(const char* text) {
  const char* path = std::getenv("INTRO_FAULT_REPORT");
  if (!path) return;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = write(fd, text, std::strlen(text));
  (void)ignored;
  close(fd);
}

// True when this allocation is the one to fail.
bool FailsNow() {
  if (!armed || inHook || failAt < 0 || FromSdl()) return false;
  if (counted++ != failAt) return false;
  armed = false;  // one failure a run
  Report("injected\n");
  if (std::getenv("INTRO_FAULT_TRACE")) {
    void* frames[16];
    backtrace_symbols_fd(frames, backtrace(frames, 16), 2);
  }
  errno = ENOMEM;
  return true;
}

int (*realMain)(int, char**, char**);

using SetVideoMode = SDL_Surface* (*)(int, int, int, uint32_t);
using SetError = void (*)(const char*, ...);
using Init = int (*)(uint32_t);
Init realInit;
SetVideoMode realSetVideoMode;
SetError realSetError;
bool refuseVideoMode = false;

int WrappedMain(int argc, char** argv, char** envp) {
  // Everything that may allocate is looked up before the count starts.
  if (const char* k = std::getenv("INTRO_FAIL_ALLOCATION")) failAt = std::atol(k);
  const char* refuse = std::getenv("INTRO_REFUSE_VIDEO_MODE");
  refuseVideoMode = refuse && *refuse == '1';
  realSetVideoMode =
      reinterpret_cast<SetVideoMode>(dlsym(RTLD_NEXT, "SDL_SetVideoMode"));
  realSetError = reinterpret_cast<SetError>(dlsym(RTLD_NEXT, "SDL_SetError"));
  realInit = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "SDL_Init"));
  dl_iterate_phdr(FindCode, nullptr);
  void* frames[1];
  backtrace(frames, 1);  // loads what backtrace needs
  armed = true;
  int status = realMain(argc, argv, envp);
  armed = false;
  return status;
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  if (FailsNow()) return nullptr;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (FailsNow()) return nullptr;
  return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
  if (FailsNow()) return nullptr;
  return __libc_realloc(p, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  if (FailsNow()) return nullptr;
  return __libc_memalign(alignment, size);
}

// Only allocations made while main runs are counted: the program's static
// set-up has run by then.
int __libc_start_main(int (*main)(int, char**, char**), int argc, char** argv,
                      void (*init)(), void (*fini)(), void (*rtldFini)(),
                      void* stackEnd) {
  using Start = int (*)(int (*)(int, char**, char**), int, char**, void (*)(),
                        void (*)(), void (*)(), void*);
  auto start = reinterpret_cast<Start>(dlsym(RTLD_NEXT, "__libc_start_main"));
  realMain = main;
  return start(WrappedMain, argc, argv, init, fini, rtldFini, stackEnd);
}

// SDL's start-up is SDL's own; an implementation that loads another library
// (sdl12-compat loads SDL 2) adds that library's code to SDL's.
int SDL_Init(uint32_t flags) {
  const bool wasArmed = armed;
  armed = false;
  const int result = realInit ? realInit(flags) : -1;
  rangeCount = 0;
  dl_iterate_phdr(FindCode, nullptr);
  armed = wasArmed;
  return result;
}

// SDL 1.2's SDL_SetVideoMode, declared here: only sdl/ includes SDL headers.
SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, uint32_t flags) {
  if (refuseVideoMode) {
    if (realSetError) realSetError("the test refuses every video mode");
    return nullptr;
  }
  return realSetVideoMode ? realSetVideoMode(width, height, bpp, flags)
                          : nullptr;
}

}  // extern "C"
