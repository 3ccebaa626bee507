// Scaling and rotation of a 640 x 480 image, side by side with SDL_gfx's
// zoomSurface and rotozoomSurface (smoothing off) on a 32-bit surface.
// Each case reports output pixels per second ("px/s"); after the table, the
// ratio IMG / SDL_gfx of every pair is printed.
//
//   transform_bench --benchmark_min_time=0.2
#include <SDL/SDL.h>
#include <SDL/SDL_rotozoom.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_table.h"
#include "img/img.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

Image* SourceImage() {
  static Image* image = [] {
    Image* im = IMGNew();
    IMGResize(im, kWidth, kHeight);
    std::mt19937 rng(1);
    for (int i = 0; i < kWidth * kHeight; ++i) im->pixels[i] = rng() & 0xFFFFFF;
    return im;
  }();
  return image;
}

SDL_Surface* SourceSurface() {
  static SDL_Surface* surface = [] {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, kWidth, kHeight, 32,
                                          0xFF0000, 0x00FF00, 0x0000FF, 0);
    const Image* im = SourceImage();
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch,
                  im->pixels + y * kWidth, kWidth * sizeof(uint32_t));
    return s;
  }();
  return surface;
}

void SetRate(benchmark::State& state, int64_t pixels) {
  state.counters["px/s"] =
      benchmark::Counter(static_cast<double>(pixels),
                         benchmark::Counter::kIsIterationInvariantRate);
}

void ImgScale(benchmark::State& state, int w, int h) {
  const Image* source = SourceImage();
  for (auto _ : state) {
    Image* result = IMGScale(source, w, h);
    benchmark::DoNotOptimize(result->pixels);
    IMGFree(&result);
  }
  SetRate(state, int64_t{w} * h);
}

void GfxScale(benchmark::State& state, int w, int h) {
  SDL_Surface* source = SourceSurface();
  const double zx = static_cast<double>(w) / kWidth;
  const double zy = static_cast<double>(h) / kHeight;
  int64_t pixels = 0;
  for (auto _ : state) {
    SDL_Surface* result = zoomSurface(source, zx, zy, SMOOTHING_OFF);
    benchmark::DoNotOptimize(result->pixels);
    pixels = int64_t{result->w} * result->h;
    SDL_FreeSurface(result);
  }
  SetRate(state, pixels);
}

void ImgRotate(benchmark::State& state, int32_t angle) {
  const Image* source = SourceImage();
  int64_t pixels = 0;
  for (auto _ : state) {
    Image* result = IMGRotate(source, angle);
    benchmark::DoNotOptimize(result->pixels);
    pixels = int64_t{result->width} * result->height;
    IMGFree(&result);
  }
  SetRate(state, pixels);
}

void GfxRotate(benchmark::State& state, double degrees) {
  SDL_Surface* source = SourceSurface();
  int64_t pixels = 0;
  for (auto _ : state) {
    SDL_Surface* result = rotozoomSurface(source, degrees, 1.0, SMOOTHING_OFF);
    benchmark::DoNotOptimize(result->pixels);
    pixels = int64_t{result->w} * result->h;
    SDL_FreeSurface(result);
  }
  SetRate(state, pixels);
}

// Pairs of cases measured against each other: {case, IMG name, SDL_gfx name}.
struct Pair {
  std::string label, img, gfx;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<Pair> pairs;
  auto scale = [&](int w, int h) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string img = "Scale/IMG/" + size;
    const std::string gfx = "Scale/SDL_gfx/" + size;
    benchmark::RegisterBenchmark(img.c_str(), ImgScale, w, h);
    benchmark::RegisterBenchmark(gfx.c_str(), GfxScale, w, h);
    pairs.push_back({"scale 640x480 -> " + size, img, gfx});
  };
  auto rotate = [&](int degrees, int32_t angle) {
    const std::string name = std::to_string(degrees) + "deg";
    const std::string img = "Rotate/IMG/" + name;
    const std::string gfx = "Rotate/SDL_gfx/" + name;
    benchmark::RegisterBenchmark(img.c_str(), ImgRotate, angle);
    benchmark::RegisterBenchmark(gfx.c_str(), GfxRotate,
                                 static_cast<double>(degrees));
    pairs.push_back(
        {"rotate 640x480 by " + name + " (angle " + std::to_string(angle) + ")",
         img, gfx});
  };
  scale(1280, 960);
  scale(320, 240);
  scale(640, 480);
  rotate(30, 85);  // 30 degrees is 85.3 units of 1024 to the turn
  rotate(45, 128);
  rotate(90, 256);
  rotate(10, 28);

  bench::RatioTable table("px/s");
  for (const Pair& p : pairs) table.Add(p.label + " vs SDL_gfx", p.img, p.gfx);
  return bench::RunWithTable(argc, argv, table);
}
