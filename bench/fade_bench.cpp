// One step of the fade at 640 x 480: DEMODarken (SSE2, four pixels at a time)
// against the scalar loop it replaced, a pixel and a channel at a time,
// written out here so that the baseline does not move with the library. The
// scalar loop is kept from being vectorised, as the intro's default build
// (-O2) compiles it; the same loop as the compiler vectorises it at -O3 is
// measured too. The table gives the scalar loops' median processor times over
// DEMODarken's.
//
//   fade_bench --benchmark_repetitions=5
//              --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench/ratio_table.h"
#include "demo/demo.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kRefresh = 64;  // steps between refills of the picture

// The loop DEMODarken was: each channel clamped on its own.
[[gnu::always_inline]] inline void DarkenLoop(Image* image, int32_t amount) {
  const uint32_t a = static_cast<uint32_t>(amount) & 0xFFu;
  uint32_t* p = image->pixels;
  const size_t n = static_cast<size_t>(image->width) * image->height;
  for (size_t i = 0; i < n; ++i) {
    uint32_t v = p[i];
    uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    r = r > a ? r - a : 0;
    g = g > a ? g - a : 0;
    b = b > a ? b - a : 0;
    p[i] = r << 16 | g << 8 | b;
  }
}

[[gnu::noinline, gnu::optimize("no-tree-vectorize")]] void DarkenScalar(
    Image* image, int32_t amount) {
  DarkenLoop(image, amount);
}

[[gnu::noinline]] void DarkenAutoVectorised(Image* image, int32_t amount) {
  DarkenLoop(image, amount);
}

// A frame of colours, refilled every kRefresh steps (outside the timing) so
// that every step darkens a picture that is not black yet.
template <void (*Darken)(Image*, int32_t)>
void BM_Step(benchmark::State& state) {
  std::vector<uint32_t> picture(size_t(kWidth) * kHeight);
  std::mt19937 rng(256);
  for (uint32_t& v : picture) v = rng() & 0xFFFFFF;
  Image* frame = IMGNew();
  IMGResize(frame, kWidth, kHeight);
  int step = 0;
  for (auto _ : state) {
    if (step++ % kRefresh == 0) {
      state.PauseTiming();
      std::memcpy(frame->pixels, picture.data(),
                  picture.size() * sizeof(uint32_t));
      state.ResumeTiming();
    }
    Darken(frame, 2);
    benchmark::ClobberMemory();
  }
  state.SetLabel("640x480");
  IMGFree(&frame);
}

BENCHMARK(BM_Step<DEMODarken>)->Name("BM_DEMODarken")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<DarkenScalar>)->Name("BM_ScalarLoop")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<DarkenAutoVectorised>)
    ->Name("BM_ScalarLoopVectorisedByCompiler")
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  table.Add("DEMODarken 640x480 vs the scalar loop", "BM_DEMODarken",
            "BM_ScalarLoop");
  table.Add("DEMODarken vs that loop, compiler-vectorised",
            "BM_DEMODarken", "BM_ScalarLoopVectorisedByCompiler");
  return bench::RunWithTable(argc, argv, table);
}
