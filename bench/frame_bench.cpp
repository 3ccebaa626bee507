// One whole frame of the windowed intro (640 x 480, 80 x 60 cells) on SDL's
// dummy video driver: DEMOFrame (render, present, poll, dispatch; the screen
// is the same at every frame, so after the first it redraws and presents
// nothing but the frame's bookkeeping) against the plain path, which renders with one plain FONTPutChar per cell
// and presents through a temporary surface with an alpha mask,
// SDL_DisplayFormat and a blit. The screen is a frame of scene 2: stars
// spread over the screen, the logo and the scroller's row.
//
// Each runs on two screens: the 8-bit one that the dummy driver gives the
// intro's mode request (depth 0), where every present converts the frame,
// and a 32-bit one in the frame's own format, as on a desktop. The program
// ends with the plain path's median processor time on each screen over
// DEMOFrame's.
//
//   frame_bench --benchmark_repetitions=5
//               --benchmark_report_aggregates_only=true
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "bench/plain_render.h"
#include "bench/ratio_table.h"
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

// The screen of the given depth, 640 x 480. The display asks for depth 0,
// which keeps the depth of the mode set just before.
bool SetDepth(int depth) {
  if (!SDL_SetVideoMode(640, 480, depth, 0)) return false;
  SDLDPYSetMode(demo.display, 640, 480);
  const SDL_Surface* screen = SDL_GetVideoSurface();
  return screen && screen->format->BitsPerPixel == depth;
}

void Label(benchmark::State& state) {
  state.SetLabel("640x480, 80x60 cells, " + std::to_string(state.range(0)) +
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
  for (auto _ : state) {
    IMGClear(demo.frame);
    bench::PlainRender(demo.frame, demo.screen, demo.font);
    PlainPresent(demo.frame);
    SDLKBDGetKey(demo.keyboard);
    DEMOKey(static_cast<int8_t>(demo.keyboard->keys[0]));
    demo.keyboard->keys[0] = 0;
    benchmark::ClobberMemory();
  }
  Label(state);
}

void BM_DEMOFrame(benchmark::State& state) {
  if (!Started()) return state.SkipWithError("cannot start the intro headless");
  if (!SetDepth(int(state.range(0))))
    return state.SkipWithError("no screen of that depth");
  for (auto _ : state) {
    DEMOFrame();
    benchmark::ClobberMemory();
  }
  Label(state);
}

BENCHMARK(BM_PlainFrame)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DEMOFrame)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  for (const char* depth : {"8", "32"})
    table.Add(std::string("DEMOFrame vs plain, ") + depth + "-bit screen",
              std::string("BM_DEMOFrame/") + depth,
              std::string("BM_PlainFrame/") + depth);
  return bench::RunWithTable(argc, argv, table);
}
