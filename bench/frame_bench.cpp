// One whole frame of the windowed intro (640 x 480, 80 x 60 cells) on SDL's
// dummy video driver: DEMOFrame (clear, render, present, poll, dispatch)
// against the plain path, which renders with one plain FONTPutChar per cell
// and presents through a temporary surface with an alpha mask,
// SDL_DisplayFormat and a blit. The screen is a frame of scene 2: stars
// spread over the screen, the logo and the scroller's row.
//
// Each runs on two screens: the 8-bit one that the dummy driver gives the
// intro's mode request (depth 0), where every present converts the frame,
// and a 32-bit one in the frame's own format, as on a desktop. "speedup" is
// the plain path's median time on the same screen over the case's own.
//
//   frame_bench --benchmark_repetitions=5
//               --benchmark_report_aggregates_only=true
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/plain_render.h"
#include "demo/demo.h"

namespace {

// SDL and the intro, started once for the whole program as DEMOInit does it,
// with the data files from the source tree.
bool Started() {
  static const bool started = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) != 0) return false;
    if (chdir(INTRO_SOURCE_DIR "/data") != 0) return false;
    if (!DEMOInit() || !demo.font->glyphs) return false;
    // A frame of scene 2 after the stars have spread out.
    TextScreen* screen = demo.screen;
    for (int i = 0; i < 200; ++i) STARSMove(demo.stars);
    SCRFill(screen, 32);
    STARSDraw(demo.stars, screen);
    SCRPrint(screen, screen->cols / 2 - 10, screen->rows / 4, DEMO_LOGO);
    SCROLLDraw(demo.scroller);
    return true;
  }();
  return started;
}

double CpuNanoseconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// The screen of the given depth, 640 x 480. The display asks for depth 0,
// which keeps the depth of the mode set just before.
bool SetDepth(int depth) {
  if (!SDL_SetVideoMode(640, 480, depth, 0)) return false;
  SDLDPYSetMode(demo.display, 640, 480);
  const SDL_Surface* screen = SDL_GetVideoSurface();
  return screen && screen->format->BitsPerPixel == depth;
}

// The plain path's runs on each depth: iterations and processor time per
// iteration.
std::vector<std::pair<int64_t, double>>& PlainRuns(int64_t depth) {
  static std::map<int64_t, std::vector<std::pair<int64_t, double>>> runs;
  return runs[depth];
}

// The median of the plain path's runs with the most iterations (the
// library's first, short runs only size the real ones).
double PlainNanoseconds(int64_t depth) {
  int64_t most = 0;
  for (const auto& run : PlainRuns(depth)) most = std::max(most, run.first);
  std::vector<double> times;
  for (const auto& run : PlainRuns(depth))
    if (run.first == most) times.push_back(run.second);
  if (times.empty()) return 0;
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Report(benchmark::State& state, double start, bool isPlain) {
  const double ns = (CpuNanoseconds() - start) /
                    double(std::max<int64_t>(1, state.iterations()));
  const int64_t depth = state.range(0);
  if (isPlain) PlainRuns(depth).push_back({state.iterations(), ns});
  const double plain = PlainNanoseconds(depth);
  if (plain > 0) state.counters["speedup"] = plain / ns;
  state.SetLabel("640x480, 80x60 cells, " + std::to_string(depth) +
                 "-bit screen");
}

// The plain present: a surface over the frame's pixels whose alpha mask
// covers the top byte, converted to the screen's format, then blitted.
void PlainPresent(const Image* frame) {
  SDL_Surface* screen = SDL_GetVideoSurface();
  SDL_Surface* lent = SDL_CreateRGBSurfaceFrom(
      frame->pixels, frame->width, frame->height, 32, frame->width * 4,
      0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
  SDL_Surface* converted = SDL_DisplayFormat(lent);
  SDL_UpperBlit(converted, nullptr, screen, nullptr);
  SDL_FreeSurface(converted);
  SDL_FreeSurface(lent);
  if (screen->flags & SDL_DOUBLEBUF)
    SDL_Flip(screen);
  else
    SDL_UpdateRect(screen, 0, 0, 0, 0);
}

void BM_PlainFrame(benchmark::State& state) {
  if (!Started()) return state.SkipWithError("cannot start the intro headless");
  if (!SetDepth(int(state.range(0))))
    return state.SkipWithError("no screen of that depth");
  const double start = CpuNanoseconds();
  for (auto _ : state) {
    IMGClear(demo.frame);
    bench::PlainRender(demo.frame, demo.screen, demo.font);
    PlainPresent(demo.frame);
    SDLKBDGetKey(demo.keyboard);
    DEMOKey(static_cast<int8_t>(demo.keyboard->keys[0]));
    demo.keyboard->keys[0] = 0;
    benchmark::ClobberMemory();
  }
  Report(state, start, true);
}

void BM_DEMOFrame(benchmark::State& state) {
  if (!Started()) return state.SkipWithError("cannot start the intro headless");
  if (!SetDepth(int(state.range(0))))
    return state.SkipWithError("no screen of that depth");
  const double start = CpuNanoseconds();
  for (auto _ : state) {
    DEMOFrame();
    benchmark::ClobberMemory();
  }
  Report(state, start, false);
}

// The plain path first: DEMOFrame is measured against it.
BENCHMARK(BM_PlainFrame)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DEMOFrame)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
