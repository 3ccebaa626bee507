// PNM reading and writing, side by side with netpbm's library (row by row)
// and stb_image. Throughput is in bytes of the file read or written.
//
//   cmake -S . -B build-bench -DINTRO_BENCH=ON && cmake --build build-bench
//   --target pnm_bench build-bench/bench/pnm_bench --benchmark_min_time=0.2
#include <pnm.h>
#include <ppm.h>

// Every format is compiled in: with STBI_ONLY_PNM some stb_image releases
// (Debian 13's) call a 16-bit conversion they then leave out, and fail to build.
#define STB_IMAGE_IMPLEMENTATION
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/ratio_table.h"
#include "img/img.h"

namespace {

constexpr int kBig = 4096;    // side of the raw test images
constexpr int kPlain = 1024;  // side of the plain (P3) test image

// A folder of test files made once, removed at exit.
class Files {
 public:
  Files() {
    dir_ = std::filesystem::temp_directory_path() /
           ("pnm-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir_);
    std::mt19937 rng(1);
    Write("P6", kBig, [&](FILE* f) {
      for (long i = 0; i < 3L * kBig * kBig; ++i) std::putc(rng() & 0xFF, f);
    });
    Write("P5", kBig, [&](FILE* f) {
      for (long i = 0; i < long(kBig) * kBig; ++i) std::putc(rng() & 0xFF, f);
    });
    Write("P4", kBig, [&](FILE* f) {
      for (long i = 0; i < long(kBig) / 8 * kBig; ++i)
        std::putc(rng() & 0xFF, f);
    });
    Write("P3", kPlain, [&](FILE* f) {
      for (int y = 0; y < kPlain; ++y) {
        for (int x = 0; x < 3 * kPlain; ++x)
          std::fprintf(f, "%u ", unsigned(rng() & 0xFF));
        std::putc('\n', f);
      }
    });
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& type) const {
    return (dir_ / (type + ".pnm")).string();
  }
  std::string Out() const { return (dir_ / "out.ppm").string(); }
  int64_t Size(const std::string& type) const {
    return static_cast<int64_t>(std::filesystem::file_size(Path(type)));
  }

 private:
  template <typename F>
  void Write(const std::string& type, int side, F raster) {
    FILE* f = std::fopen(Path(type).c_str(), "wb");
    std::fprintf(f, "%s\n%d %d\n%s", type.c_str(), side, side,
                 type == "P4" ? "" : "255\n");
    raster(f);
    std::fclose(f);
  }
  std::filesystem::path dir_;
};

const Files& TestFiles() {
  static Files files;
  return files;
}

void InitNetpbm() {
  static const bool done = (pm_init("pnm_bench", 0), true);
  (void)done;
}

void IntroLoad(benchmark::State& state, const char* type) {
  std::string path = TestFiles().Path(type);
  for (auto _ : state) {
    Image* image = IMGLoad(path.c_str());
    if (!image) {
      state.SkipWithError("IMGLoad failed");
      return;
    }
    benchmark::DoNotOptimize(image->pixels[0]);
    IMGFree(&image);
  }
  state.SetBytesProcessed(state.iterations() * TestFiles().Size(type));
}

void NetpbmLoad(benchmark::State& state, const char* type) {
  InitNetpbm();
  std::string path = TestFiles().Path(type);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    int cols, rows, format;
    xelval maxval;
    pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    xel* row = pnm_allocrow(cols);
    for (int y = 0; y < rows; ++y) pnm_readpnmrow(f, row, cols, maxval, format);
    benchmark::DoNotOptimize(row[0]);
    pnm_freerow(row);
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * TestFiles().Size(type));
}

// stb_image's result in the file's own channels (1 byte a pixel for P5, 3 for
// P6), or with channels 4 in 32 bits a pixel, the same amount of output as an
// Image holds.
void StbLoadChannels(benchmark::State& state, const char* type, int channels) {
  std::string path = TestFiles().Path(type);
  for (auto _ : state) {
    int w, h, n;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &n, channels);
    if (!data) {
      state.SkipWithError("stbi_load failed");
      return;
    }
    benchmark::DoNotOptimize(data[0]);
    stbi_image_free(data);
  }
  state.SetBytesProcessed(state.iterations() * TestFiles().Size(type));
}

void StbLoad(benchmark::State& state, const char* type) {
  StbLoadChannels(state, type, 0);
}

void StbLoad32(benchmark::State& state, const char* type) {
  StbLoadChannels(state, type, 4);
}

BENCHMARK_CAPTURE(IntroLoad, P6, "P6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NetpbmLoad, P6, "P6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StbLoad, P6, "P6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StbLoad32, P6, "P6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IntroLoad, P5, "P5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NetpbmLoad, P5, "P5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StbLoad, P5, "P5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StbLoad32, P5, "P5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IntroLoad, P4, "P4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NetpbmLoad, P4, "P4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IntroLoad, P3, "P3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(NetpbmLoad, P3, "P3")->Unit(benchmark::kMillisecond);

void IntroSaveP6(benchmark::State& state) {
  Image* image = IMGNew();
  IMGResize(image, kBig, kBig);
  std::mt19937 rng(2);
  for (int32_t i = 0; i < kBig * kBig; ++i) image->pixels[i] = rng() & 0xFFFFFF;
  std::string path = TestFiles().Out();
  for (auto _ : state) {
    if (!IMGSave(image, path.c_str())) {
      state.SkipWithError("IMGSave failed");
      break;
    }
  }
  state.SetBytesProcessed(
      state.iterations() *
      static_cast<int64_t>(std::filesystem::file_size(path)));
  IMGFree(&image);
}

void NetpbmSaveP6(benchmark::State& state) {
  InitNetpbm();
  pixel** pixels = ppm_allocarray(kBig, kBig);
  std::mt19937 rng(2);
  for (int y = 0; y < kBig; ++y)
    for (int x = 0; x < kBig; ++x) {
      uint32_t v = rng();
      PPM_ASSIGN(pixels[y][x], (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
  std::string path = TestFiles().Out();
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ppm_writeppm(f, pixels, kBig, kBig, 255, 0);
    std::fclose(f);
  }
  state.SetBytesProcessed(
      state.iterations() *
      static_cast<int64_t>(std::filesystem::file_size(path)));
  ppm_freearray(pixels, kBig);
}

BENCHMARK(IntroSaveP6)->Unit(benchmark::kMillisecond);
BENCHMARK(NetpbmSaveP6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  for (const char* format : {"P6", "P5", "P4", "P3"}) {
    const std::string f = format;
    table.Add("IMGLoad " + f + " vs netpbm", "IntroLoad/" + f,
              "NetpbmLoad/" + f);
    if (f == "P6" || f == "P5") {
      table.Add("IMGLoad " + f + " vs stb_image", "IntroLoad/" + f,
                "StbLoad/" + f);
      table.Add("IMGLoad " + f + " vs stb_image, 32-bit pixels",
                "IntroLoad/" + f, "StbLoad32/" + f);
    }
  }
  table.Add("IMGSave P6 vs netpbm", "IntroSaveP6", "NetpbmSaveP6");
  return bench::RunWithTable(argc, argv, table);
}
