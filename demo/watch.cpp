// The data folder's watcher: inotify on the working directory, drained once
// per frame, and the reload of each changed file through its checks.
#include "demo/watch.h"

#include <unistd.h>
#if !defined(__EMSCRIPTEN__)
#include <sys/inotify.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "demo/data_check.h"
#include "demo/data_files.h"
#include "demo/demo.h"

namespace {

#if !defined(__EMSCRIPTEN__)
// Only whole changes: a file written and closed, moved in, moved out or
// removed; never a file half written.
constexpr uint32_t kEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
#endif
// Enough for the table's files; a later file kind needs no change here as
// long as the table stays under this.
constexpr int kMaxFiles = 64;

int watchFd = -1;
// Per table entry: changed since the last reload, and the problems last
// written for it (not written again while they stay the same).
bool changed[kMaxFiles];
std::string lastProblems[kMaxFiles];
#if defined(__EMSCRIPTEN__)
struct inotify_event {  // never read: no folder is watched in a page
  int wd;
  uint32_t mask, cookie, len;
  char name[];
};
#endif
alignas(inotify_event) char events[4096];

bool AddWatch() {
#if defined(__EMSCRIPTEN__)
  return false;
#else
  return inotify_add_watch(watchFd, ".", kEvents) >= 0;
#endif
}

// The index of runner frame file in the table's runner order, or -1.
int RunnerIndex(const DemoDataFile& file) {
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k) {
    const char* name = DEMODataFileName(DemoDataKind::Runner, k);
    if (name && std::strcmp(name, file.name) == 0) return k;
  }
  return -1;
}

// Writes the report's errors (the warnings when it has none) unless they are
// what was last written for entry i.
void Tell(int i, const DemoReport& report) {
  std::string lines;
  for (const DemoProblem& problem : report.problems)
    if (!problem.warning) lines += "intro: " + DEMOProblemLine(problem) + "\n";
  if (lines.empty()) return;
  if (lines == lastProblems[i]) return;
  lastProblems[i] = lines;
  std::fputs(lines.c_str(), stderr);
  std::fprintf(stderr, "intro: %s: the last good content stays\n",
               DEMO_DATA_FILES[i].name);
}

// Replaces *slot by text (which may be none: the built-in text) and frees
// the old.
void Swap(char** slot, char* text) {
  DEMOFreeText(*slot);
  *slot = text;
}

// Reads entry i again. True when the intro's content was replaced.
bool Reload(int i) {
  const DemoDataFile& file = DEMO_DATA_FILES[i];
  DemoReport report;
  DemoCheckContext context;
  context.glyphs = demo.font ? demo.font->glyphs : nullptr;
  bool replaced = false;
  try {
    switch (file.kind) {
      case DemoDataKind::Font: {
        Image* sheet = DEMOLoadSheet(file.name, &report);
        if (sheet && demo.font) {
          if (demo.font->glyphs) IMGFree(&demo.font->glyphs);
          demo.font->glyphs = sheet;
          replaced = true;
        } else if (sheet) {
          IMGFree(&sheet);
        }
        break;
      }
      case DemoDataKind::Map: {
        char* text = DEMOLoadChecked(file, file.name, context, &report);
        if (text) Swap(&demo.mapText, text);
        replaced = text != nullptr;
        break;
      }
      case DemoDataKind::Runner: {
        const int k = RunnerIndex(file);
        if (k < 0) break;
        // The first frame sets the box; every other frame must cover it.
        if (k > 0) DEMORunnerBox(demo.frameTexts[0], &context);
        char* text = DEMOLoadChecked(file, file.name, context, &report);
        if (text) Swap(&demo.frameTexts[k], text);
        replaced = text != nullptr;
        break;
      }
      case DemoDataKind::Song:
        // The soundtrack plays on from the song it started with; a saved
        // song is taken at the next start.
        break;
      case DemoDataKind::Message:
      case DemoDataKind::Logo: {
        char* text = DEMOLoadChecked(file, file.name, context, &report);
        // None without an error: the file is gone, the built-in text is back.
        if (!text && report.errors > 0) break;
        Swap(file.kind == DemoDataKind::Message ? &demo.message : &demo.logo,
             text);
        if (file.kind == DemoDataKind::Message && demo.scroller)
          SCROLLSetText(demo.scroller, DEMOMessage());
        replaced = true;
        break;
      }
    }
    if (replaced) {
      lastProblems[i].clear();
    } else {
      Tell(i, report);
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "intro: out of memory reloading \"%s\"\n", file.name);
  }
  return replaced;
}

}  // namespace

bool DEMOWatchStart() {
  DEMOWatchStop();
#if defined(__EMSCRIPTEN__)
  // A page's files are packed into it: there is nothing to watch.
  errno = ENOSYS;
#else
  watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
  if (watchFd < 0 || !AddWatch()) {
    std::fprintf(stderr, "intro: cannot watch the data folder: %s\n",
                 std::strerror(errno));
    DEMOWatchStop();
    return false;
  }
  return true;
}

void DEMOWatchCheck() {
  if (watchFd < 0) return;
  bool any = false;
  for (;;) {
    ssize_t n = read(watchFd, events, sizeof events);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;  // EAGAIN: nothing more noticed
    }
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->len == 0) continue;
      const DemoDataFile* file = DEMODataFileFind(event->name);
      if (!file) continue;
      const int i = static_cast<int>(file - DEMO_DATA_FILES);
      if (i < kMaxFiles) changed[i] = any = true;
    }
  }
  if (!any) return;
  bool replaced = false;
  for (int i = 0; i < DEMO_DATA_FILE_COUNT && i < kMaxFiles; ++i) {
    if (!changed[i]) continue;
    changed[i] = false;
    replaced |= Reload(i);
  }
  if (replaced && demo.runState == DEMO_RUNNING)
    demo.runState = DEMO_RESTART_SCENE;
}

void DEMOWatchStop() {
  if (watchFd >= 0) close(watchFd);
  watchFd = -1;
  for (int i = 0; i < kMaxFiles; ++i) {
    changed[i] = false;
    lastProblems[i].clear();
  }
}
