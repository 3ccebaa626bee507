// Presenting a 640 x 480 frame on SDL's dummy video driver with a 32-bit
// screen: SDLDPYShow against the floor of any presentation (lock, one copy of
// the frame, unlock, update) and against the plain conversion pipeline (a
// surface with an alpha mask over the frame, SDL_DisplayFormat, blit).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/ratio_table.h"
#include "img/img.h"
#include "sdl/display.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// SDL with a 640 x 480 32-bit display and a frame full of colours.
class Session {
 public:
  Session() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ok_ = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) == 0;
    if (!ok_) return;
    display_ = SDLDPYNew();
    SDL_SetVideoMode(kWidth, kHeight, 32, 0);  // depth 0 below keeps 32
    SDLDPYSetMode(display_, kWidth, kHeight);
    frame_ = IMGNew();
    IMGResize(frame_, kWidth, kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i)
      frame_->pixels[i] = (static_cast<uint32_t>(i) * 2654435761u) & 0xFFFFFF;
    SDL_Surface* screen = SDL_GetVideoSurface();
    ok_ = display_ && frame_ && frame_->width == kWidth && screen &&
          screen->format->BitsPerPixel == 32 && screen->pitch == kWidth * 4;
  }
  ~Session() {
    if (frame_) IMGFree(&frame_);
    if (display_) SDLDPYFree(&display_);
    SDL_Quit();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool ok() const { return ok_; }
  Display* display() const { return display_; }
  Image* frame() const { return frame_; }

 private:
  bool ok_ = false;
  Display* display_ = nullptr;
  Image* frame_ = nullptr;
};

void SetCounters(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 4);
  char label[32];
  std::snprintf(label, sizeof label, "mode flags 0x%08X",
                static_cast<unsigned>(SDLDPY_MODE_FLAGS));
  state.SetLabel(label);
}

void BM_Floor(benchmark::State& state) {
  Session session;
  if (!session.ok()) return state.SkipWithError("no 32-bit dummy screen");
  SDL_Surface* screen = SDL_GetVideoSurface();
  for (auto _ : state) {
    SDL_LockSurface(screen);
    std::memcpy(screen->pixels, session.frame()->pixels,
                size_t(kWidth) * kHeight * 4);
    SDL_UnlockSurface(screen);
    SDL_UpdateRect(screen, 0, 0, 0, 0);
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond);

void BM_SDLDPYShow(benchmark::State& state) {
  Session session;
  if (!session.ok()) return state.SkipWithError("no 32-bit dummy screen");
  for (auto _ : state) {
    SDLDPYShow(session.display(), session.frame());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}
BENCHMARK(BM_SDLDPYShow)->Unit(benchmark::kMicrosecond);

void BM_ConversionPipeline(benchmark::State& state) {
  Session session;
  if (!session.ok()) return state.SkipWithError("no 32-bit dummy screen");
  SDL_Surface* screen = SDL_GetVideoSurface();
  for (auto _ : state) {
    SDL_Surface* lent = SDL_CreateRGBSurfaceFrom(
        session.frame()->pixels, kWidth, kHeight, 32, kWidth * 4, 0xFF0000,
        0xFF00, 0xFF, 0xFF000000);
    SDL_Surface* converted = SDL_DisplayFormat(lent);
    SDL_UpperBlit(converted, nullptr, screen, nullptr);
    SDL_FreeSurface(converted);
    SDL_FreeSurface(lent);
    SDL_UpdateRect(screen, 0, 0, 0, 0);
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}
BENCHMARK(BM_ConversionPipeline)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  table.Add("floor (lock, copy, update) / SDLDPYShow", "BM_SDLDPYShow",
            "BM_Floor");
  table.Add("SDLDPYShow vs convert-and-blit", "BM_SDLDPYShow",
            "BM_ConversionPipeline");
  return bench::RunWithTable(argc, argv, table);
}
