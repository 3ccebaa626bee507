// PNM reading and writing, side by side with netpbm's library and stb_image,
// and with the floor of reading: the file read in blocks and converted, with
// no parsing and no checks. Every reader makes the same output, an array of
// 32-bit 0x00RRGGBB pixels as an Image holds (64 MiB for 4096 x 4096), from
// plain malloc, freed after each read: netpbm's rows and stb_image's bytes are
// converted into it. Files are in the page cache. Throughput is in bytes of
// the file read or written.
//
// Before the benchmarks the program prints the resident memory before
// IMGLoad of the 4096 x 4096 P6 file, with the image loaded and after
// IMGFree.
//
//   pnm_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <fcntl.h>
#include <pnm.h>
#include <ppm.h>
#include <unistd.h>

// Every format is compiled in: with STBI_ONLY_PNM some stb_image releases
// (Debian 13's) call a 16-bit conversion they then leave out, and fail to build.
#define STB_IMAGE_IMPLEMENTATION
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ratio_table.h"
#include "img/img.h"

namespace {

// The test files: raw formats 4096 x 4096, the plain one 1024 x 1024, and a
// frame-sized P6 of 640 x 480.
struct FileKind {
  const char* name;  // benchmark argument and file name
  const char* type;  // magic
  int width, height;
};
constexpr FileKind kKinds[] = {{"P6", "P6", 4096, 4096},
                               {"P5", "P5", 4096, 4096},
                               {"P4", "P4", 4096, 4096},
                               {"P3", "P3", 1024, 1024},
                               {"P6_640x480", "P6", 640, 480}};

const FileKind& Kind(const char* name) {
  for (const FileKind& k : kKinds)
    if (std::string_view(name) == k.name) return k;
  std::abort();
}

// A folder of test files made once, removed at exit.
class Files {
 public:
  Files() {
    dir_ = std::filesystem::temp_directory_path() /
           ("pnm-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir_);
    std::mt19937 rng(1);
    for (const FileKind& k : kKinds) {
      const std::string type = k.type;
      FILE* f = std::fopen(Path(k.name).c_str(), "wb");
      std::fprintf(f, "%s\n%d %d\n%s", k.type, k.width, k.height,
                   type == "P4" ? "" : "255\n");
      headers_[k.name] = std::ftell(f);
      const long n = long(k.width) * k.height;
      if (type == "P3") {
        for (int y = 0; y < k.height; ++y) {
          for (int x = 0; x < 3 * k.width; ++x)
            std::fprintf(f, "%u ", unsigned(rng() & 0xFF));
          std::putc('\n', f);
        }
      } else {
        const long bytes = type == "P6" ? 3 * n : type == "P5" ? n : n / 8;
        for (long i = 0; i < bytes; ++i) std::putc(rng() & 0xFF, f);
      }
      std::fclose(f);
    }
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const {
    return (dir_ / (name + ".pnm")).string();
  }
  std::string Out() const { return (dir_ / "out.ppm").string(); }
  int64_t Size(const std::string& name) const {
    return static_cast<int64_t>(std::filesystem::file_size(Path(name)));
  }
  long Header(const std::string& name) const { return headers_.at(name); }

 private:
  std::filesystem::path dir_;
  std::map<std::string, long> headers_;
};

const Files& TestFiles() {
  static Files files;
  return files;
}

void InitNetpbm() {
  static const bool done = (pm_init("pnm_bench", 0), true);
  (void)done;
}

uint32_t* NewPixels(const FileKind& k) {
  return static_cast<uint32_t*>(
      std::malloc(size_t(k.width) * size_t(k.height) * sizeof(uint32_t)));
}

// The conversions into 0x00RRGGBB that the peers' results and the floor go
// through, as fast as the library's own.
void FromRGB(const uint8_t* p, size_t n, uint32_t* out) {
  size_t i = 0;
  for (; i + 1 < n; ++i, p += 3) {  // 4 bytes R G B (next R), swapped
    uint32_t v;
    std::memcpy(&v, p, 4);
    out[i] = __builtin_bswap32(v) >> 8;
  }
  for (; i < n; ++i, p += 3) out[i] = uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
}

void FromGrey(const uint8_t* p, size_t n, uint32_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = p[i] * 0x010101u;
}

void FromBits(const uint8_t* p, size_t bytes, uint32_t* out) {
  static const auto table = [] {  // the 8 pixels of every byte
    std::vector<uint32_t> t(256 * 8);
    for (int v = 0; v < 256; ++v)
      for (int b = 0; b < 8; ++b) t[v * 8 + b] = (v >> (7 - b) & 1) ? 0xFFFFFFu : 0;
    return t;
  }();
  for (size_t i = 0; i < bytes; ++i, out += 8)
    std::memcpy(out, &table[p[i] * 8], 8 * sizeof(uint32_t));
}

void SetBytes(benchmark::State& state, const std::string& name) {
  state.SetBytesProcessed(state.iterations() * TestFiles().Size(name));
}

void IntroLoad(benchmark::State& state, const char* name) {
  std::string path = TestFiles().Path(name);
  for (auto _ : state) {
    Image* image = IMGLoad(path.c_str());
    if (!image) return state.SkipWithError("IMGLoad failed");
    benchmark::DoNotOptimize(image->pixels[0]);
    IMGFree(&image);
  }
  SetBytes(state, name);
}

// netpbm row by row, each row converted into the pixel array.
void NetpbmLoad(benchmark::State& state, const char* name) {
  InitNetpbm();
  const FileKind& k = Kind(name);
  std::string path = TestFiles().Path(name);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    int cols, rows, format;
    xelval maxval;
    pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    xel* row = pnm_allocrow(cols);
    uint32_t* pixels = NewPixels(k);
    uint32_t* out = pixels;
    const bool bitmap = PNM_FORMAT_TYPE(format) == PBM_TYPE;
    const bool grey = PNM_FORMAT_TYPE(format) == PGM_TYPE;
    for (int y = 0; y < rows; ++y, out += cols) {
      pnm_readpnmrow(f, row, cols, maxval, format);
      for (int x = 0; x < cols; ++x) {
        const xel& v = row[x];
        // netpbm's bitmap white is 1 (maxval), the file's bit 0; a bit 1 is
        // white in an Image.
        out[x] = bitmap ? (PNM_GET1(v) ? 0 : 0xFFFFFFu)
                 : grey ? PNM_GET1(v) * 0x010101u
                        : PPM_GETR(v) << 16 | PPM_GETG(v) << 8 | PPM_GETB(v);
      }
    }
    benchmark::DoNotOptimize(pixels[0]);
    std::free(pixels);
    pnm_freerow(row);
    std::fclose(f);
  }
  SetBytes(state, name);
}

// stb_image in the file's own channels (1 byte a pixel for P5, 3 for P6),
// then converted into the pixel array.
void StbLoad(benchmark::State& state, const char* name) {
  const FileKind& k = Kind(name);
  std::string path = TestFiles().Path(name);
  for (auto _ : state) {
    int w, h, n;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &n, 0);
    if (!data) return state.SkipWithError("stbi_load failed");
    uint32_t* pixels = NewPixels(k);
    (n == 3 ? FromRGB : FromGrey)(data, size_t(w) * size_t(h), pixels);
    benchmark::DoNotOptimize(pixels[0]);
    std::free(pixels);
    stbi_image_free(data);
  }
  SetBytes(state, name);
}

// The floor of a raw read: the raster read in 64 KiB blocks and converted as
// it comes, no header parsed, nothing checked.
void FloorLoad(benchmark::State& state, const char* name) {
  const FileKind& k = Kind(name);
  const std::string type = k.type;
  std::string path = TestFiles().Path(name);
  const long header = TestFiles().Header(name);
  const size_t unit = type == "P6" ? 3 : 1;  // bytes a pixel, or 8 pixels
  constexpr size_t kBlock = 64 * 1024 / 3 * 3;
  std::vector<uint8_t> block(kBlock);
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY);
    lseek(fd, header, SEEK_SET);
    uint32_t* pixels = NewPixels(k);
    uint32_t* out = pixels;
    ssize_t got;
    while ((got = read(fd, block.data(), kBlock)) > 0) {
      const size_t units = size_t(got) / unit;
      if (type == "P6") {
        FromRGB(block.data(), units, out);
        out += units;
      } else if (type == "P5") {
        FromGrey(block.data(), units, out);
        out += units;
      } else {
        FromBits(block.data(), units, out);
        out += 8 * units;
      }
    }
    benchmark::DoNotOptimize(pixels[0]);
    std::free(pixels);
    close(fd);
  }
  SetBytes(state, name);
}

// The floor of a plain read: the whole file read into one buffer, kept from
// run to run, then its numbers taken three to a pixel with no checks.
void FloorLoadPlain(benchmark::State& state, const char* name) {
  const FileKind& k = Kind(name);
  std::string path = TestFiles().Path(name);
  const long header = TestFiles().Header(name);
  std::vector<uint8_t> text(size_t(TestFiles().Size(name)) + 1);
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY);
    size_t have = 0;
    ssize_t got;
    while ((got = read(fd, text.data() + have, text.size() - 1 - have)) > 0)
      have += size_t(got);
    text[have] = 0;
    uint32_t* pixels = NewPixels(k);
    const uint8_t* p = text.data() + header;
    const size_t n = size_t(k.width) * size_t(k.height);
    for (size_t i = 0; i < n; ++i) {
      uint32_t v = 0;
      for (int c = 0; c < 3; ++c) {
        uint32_t s = 0;
        while (*p < '0') ++p;
        while (*p >= '0') s = s * 10 + (*p++ - '0');
        v = v << 8 | s;
      }
      pixels[i] = v;
    }
    benchmark::DoNotOptimize(pixels[0]);
    std::free(pixels);
    close(fd);
  }
  SetBytes(state, name);
}

void IntroSaveP6(benchmark::State& state) {
  Image* image = IMGNew();
  IMGResize(image, 4096, 4096);
  std::mt19937 rng(2);
  for (int32_t i = 0; i < 4096 * 4096; ++i) image->pixels[i] = rng() & 0xFFFFFF;
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
  pixel** pixels = ppm_allocarray(4096, 4096);
  std::mt19937 rng(2);
  for (int y = 0; y < 4096; ++y)
    for (int x = 0; x < 4096; ++x) {
      uint32_t v = rng();
      PPM_ASSIGN(pixels[y][x], (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
  std::string path = TestFiles().Out();
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ppm_writeppm(f, pixels, 4096, 4096, 255, 0);
    std::fclose(f);
  }
  state.SetBytesProcessed(
      state.iterations() *
      static_cast<int64_t>(std::filesystem::file_size(path)));
  ppm_freearray(pixels, 4096);
}

// Resident memory of the process in KiB.
long ResidentKiB() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void PrintResidentMemory() {
  const std::string path = TestFiles().Path("P6");
  const long before = ResidentKiB();
  Image* image = IMGLoad(path.c_str());
  const long loaded = ResidentKiB();
  if (image) IMGFree(&image);
  const long after = ResidentKiB();
  std::printf(
      "resident memory around IMGLoad + IMGFree of the 4096x4096 P6 file: "
      "before %ld KiB, loaded %ld KiB, after IMGFree %ld KiB (%+ld KiB)\n\n",
      before, loaded, after, after - before);
}

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  for (const FileKind& k : kKinds) {
    const std::string f = k.name, type = k.type;
    const auto add = [&](const char* label, auto function, const char* peer) {
      benchmark::RegisterBenchmark((std::string(label) + "/" + f).c_str(),
                                   function, k.name)
          ->Unit(benchmark::kMillisecond);
      if (peer)
        table.Add("IMGLoad " + f + " vs " + peer, "IntroLoad/" + f,
                  std::string(label) + "/" + f);
    };
    add("IntroLoad", IntroLoad, nullptr);
    add("NetpbmLoad", NetpbmLoad, "netpbm");
    if (type == "P6" || type == "P5") add("StbLoad", StbLoad, "stb_image");
    if (type == "P3")
      add("FloorLoad", FloorLoadPlain, "the floor");
    else
      add("FloorLoad", FloorLoad, "the floor");
  }
  benchmark::RegisterBenchmark("IntroSaveP6", IntroSaveP6)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("NetpbmSaveP6", NetpbmSaveP6)
      ->Unit(benchmark::kMillisecond);
  table.Add("IMGSave P6 vs netpbm", "IntroSaveP6", "NetpbmSaveP6");
  PrintResidentMemory();
  return bench::RunWithTable(argc, argv, table);
}
