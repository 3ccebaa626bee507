// The per-frame render, IMGClear + DEMORender, at 80 x 60 cells (640 x 480)
// and 40 x 25 cells (320 x 200), on a screen of 85 % blanks and 15 % printable
// characters (seeded, so every run draws the same), against:
//
// - the floor: clearing the frame and one more write pass over it (memset,
//   then a value stored to every pixel), the least a renderer that touches
//   every pixel can do after the clear;
// - the plain path: IMGClear and one FONTPutChar per cell, as the library does
//   it now, and with the first, pixel-by-pixel blit written out below;
// - the peers: libtcod's software console renderer (an 8 x 8 tileset built
//   from the same glyph sheet, rendered to an SDL2 surface, no cache) and
//   libcaca's canvas renderer (its first built-in font, to a 32-bit buffer).
//
// Two more cases show where the render's time goes:
//
// - a memset of the frame, the clear alone;
// - the glyph rows alone: the clear, then exactly the glyph rows with ink that
//   the render copies, from a list made beforehand, through the same row
//   copy: what any render through that kernel costs before it does any work
//   per cell.
//
// Frames of the real scenes, recorded once by running the intro headless (SDL's
// dummy video driver, the data files of the source tree) at 80 x 60 cells:
// scene 2 (stars, logo, scroller; 300 frames after the first 100) and the
// map's drift of scene 1 (its 200 frames), each frame drawn after the one
// before it:
//
// - DEMORenderFrame, which redraws only the cells that changed;
// - IMGClear + DEMORender, the whole frame every time.
//
// The program ends with a table of ratios of median processor times: the
// floor's, the plain path's and the peers' over the render's (above 1: the
// render takes less), and the whole frames' over DEMORenderFrame's on each
// sequence; then the render's time, the glyph rows' and a scene-2 frame's
// over the memset's (below: less is better).
//
//   render_bench --benchmark_repetitions=5
//                --benchmark_report_aggregates_only=true
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/plain_render.h"
#include "bench/ratio_table.h"
#include "demo/demo.h"
#include "render/render.h"
#include "img/blit_internal.h"

#if defined(INTRO_HAVE_LIBTCOD)
#include <dlfcn.h>
#include <libtcod/console.h>
#include <libtcod/tileset.h>
#include <libtcod/tileset_render.h>
#endif
#if defined(INTRO_HAVE_LIBCACA)
#include <caca.h>
#endif

namespace {

constexpr int kCell = 8;
constexpr const char* kFontFile = INTRO_SOURCE_DIR "/data/font8x8.ppm";

// The two screen sizes, as benchmark arguments.
struct Size {
  int32_t cols, rows;
};
constexpr Size kSizes[] = {{80, 60}, {40, 25}};

void Label(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  state.SetLabel(std::to_string(size.cols) + "x" + std::to_string(size.rows) +
                 " cells, " + std::to_string(size.cols * kCell) + "x" +
                 std::to_string(size.rows * kCell) + " px");
}

// The glyph sheet, loaded once.
const Image* Sheet() {
  static Image* sheet = IMGLoad(kFontFile);
  return sheet;
}

// The screen's cells: 85 % blanks, 15 % printable characters 33 to 126.
std::vector<int32_t> Cells(Size size) {
  std::mt19937 rng(20081111);
  std::vector<int32_t> cells(size_t(size.cols) * size_t(size.rows), 32);
  for (int32_t& cell : cells)
    if (rng() % 100 < 15) cell = 33 + int32_t(rng() % 94);
  return cells;
}

// The frame, font and screen of one size.
struct Scene {
  explicit Scene(Size size)
      : cells(Cells(size)), screen{size.cols, size.rows, cells.data(), 0} {
    frame = IMGNew();
    IMGResize(frame, size.cols * kCell, size.rows * kCell);
    font = FONTNew();
    font->cellWidth = kCell;
    font->cellHeight = kCell;
    font->glyphs = IMGCopy(Sheet());
  }
  ~Scene() {
    IMGFree(&frame);
    FONTFree(&font);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::vector<int32_t> cells;
  TextScreen screen;
  Image* frame = nullptr;
  Font* font = nullptr;
};

bool Usable(benchmark::State& state) {
  if (Sheet() && Sheet()->width == 128) return true;
  state.SkipWithError("cannot read data/font8x8.ppm");
  return false;
}

void BM_Floor(benchmark::State& state) {
  Scene scene(kSizes[state.range(0)]);
  uint32_t* pixels = scene.frame->pixels;
  const size_t n = size_t(scene.frame->width) * size_t(scene.frame->height);
  for (auto _ : state) {
    std::memset(pixels, 0, n * sizeof(uint32_t));
    benchmark::ClobberMemory();
    for (size_t i = 0; i < n; ++i) pixels[i] = 0x00FFFFFF;
    benchmark::DoNotOptimize(pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

void BM_Render(benchmark::State& state) {
  if (!Usable(state)) return;
  Scene scene(kSizes[state.range(0)]);
  for (auto _ : state) {
    IMGClear(scene.frame);
    DEMORender(scene.frame, &scene.screen, scene.font);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

// The clear alone: the part of every case above the floor's first pass.
void BM_Clear(benchmark::State& state) {
  Scene scene(kSizes[state.range(0)]);
  for (auto _ : state) {
    IMGClear(scene.frame);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

void BM_Memset(benchmark::State& state) {
  Scene scene(kSizes[state.range(0)]);
  const size_t bytes = size_t(scene.frame->width) *
                       size_t(scene.frame->height) * sizeof(uint32_t);
  for (auto _ : state) {
    std::memset(scene.frame->pixels, 0, bytes);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

// The glyph rows with ink of every cell, as the render copies them: where
// each comes from on the sheet and where it goes in the frame.
struct GlyphRows {
  std::vector<const uint32_t*> from;
  std::vector<uint32_t*> to;
};

GlyphRows RowsOf(const Scene& scene) {
  GlyphRows rows;
  const Image* sheet = scene.font->glyphs;
  const int32_t perRow = sheet->width / kCell;
  for (int32_t r = 0; r < scene.screen.rows; ++r)
    for (int32_t c = 0; c < scene.screen.cols; ++c) {
      const int32_t code = scene.screen.cells[size_t(r) * scene.screen.cols + c];
      for (int32_t j = 0; j < kCell; ++j) {
        const uint32_t* s =
            sheet->pixels + size_t((code / perRow) * kCell + j) * sheet->width +
            size_t(code % perRow) * kCell;
        bool ink = false;
        for (int32_t i = 0; i < kCell; ++i) ink = ink || s[i] != 0;
        if (!ink) continue;
        rows.from.push_back(s);
        rows.to.push_back(scene.frame->pixels +
                          size_t(r * kCell + j) * scene.frame->width +
                          size_t(c) * kCell);
      }
    }
  return rows;
}

void BM_GlyphRows(benchmark::State& state) {
  if (!Usable(state)) return;
  Scene scene(kSizes[state.range(0)]);
  const GlyphRows rows = RowsOf(scene);
  for (auto _ : state) {
    IMGClear(scene.frame);
    for (size_t i = 0; i < rows.from.size(); ++i)
      img_internal::BlitRow(rows.from[i], rows.to[i], kCell);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

void BM_PlainPutChar(benchmark::State& state) {
  if (!Usable(state)) return;
  Scene scene(kSizes[state.range(0)]);
  for (auto _ : state) {
    IMGClear(scene.frame);
    const int32_t* cell = scene.screen.cells;
    for (int32_t r = 0; r < scene.screen.rows; ++r)
      for (int32_t c = 0; c < scene.screen.cols; ++c)
        FONTPutChar(scene.font, *cell++, kCell * c, kCell * r, scene.frame);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

void BM_Plain(benchmark::State& state) {
  if (!Usable(state)) return;
  Scene scene(kSizes[state.range(0)]);
  for (auto _ : state) {
    IMGClear(scene.frame);
    bench::PlainRender(scene.frame, &scene.screen, scene.font);
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}

#if defined(INTRO_HAVE_LIBTCOD)
// libtcod, opened at run time: it calls SDL2, and SDL 1.2 (linked into every
// benchmark) has functions of the same names. RTLD_DEEPBIND binds libtcod to
// its own SDL2 first.
struct Libtcod {
  decltype(&TCOD_tileset_new) tilesetNew = nullptr;
  decltype(&TCOD_tileset_set_tile_) setTile = nullptr;
  decltype(&TCOD_tileset_delete) tilesetDelete = nullptr;
  decltype(&TCOD_console_new) consoleNew = nullptr;
  decltype(&TCOD_console_delete) consoleDelete = nullptr;
  decltype(&TCOD_tileset_render_to_surface) render = nullptr;

  static const Libtcod* Get() {
    static const Libtcod lib = [] {
      Libtcod l;
      void* so =
          dlopen(INTRO_LIBTCOD_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
      if (!so) return l;
      l.tilesetNew = Symbol<decltype(l.tilesetNew)>(so, "TCOD_tileset_new");
      l.setTile = Symbol<decltype(l.setTile)>(so, "TCOD_tileset_set_tile_");
      l.tilesetDelete =
          Symbol<decltype(l.tilesetDelete)>(so, "TCOD_tileset_delete");
      l.consoleNew = Symbol<decltype(l.consoleNew)>(so, "TCOD_console_new");
      l.consoleDelete =
          Symbol<decltype(l.consoleDelete)>(so, "TCOD_console_delete");
      l.render =
          Symbol<decltype(l.render)>(so, "TCOD_tileset_render_to_surface");
      return l;
    }();
    return lib.tilesetNew && lib.setTile && lib.tilesetDelete &&
                   lib.consoleNew && lib.consoleDelete && lib.render
               ? &lib
               : nullptr;
  }

  template <typename F>
  static F Symbol(void* so, const char* name) {
    return reinterpret_cast<F>(dlsym(so, name));
  }
};

// libtcod's software renderer draws every tile (no cache console) into an
// SDL2 surface of its own making, which lives until the process ends.
void BM_Libtcod(benchmark::State& state) {
  if (!Usable(state)) return;
  const Libtcod* tcod = Libtcod::Get();
  if (!tcod) return state.SkipWithError("cannot open " INTRO_LIBTCOD_PATH);
  const Size size = kSizes[state.range(0)];
  TCOD_Tileset* tileset = tcod->tilesetNew(kCell, kCell);
  const Image* sheet = Sheet();
  for (int code = 0; code < 128; ++code) {
    TCOD_ColorRGBA tile[kCell * kCell];
    for (int j = 0; j < kCell; ++j)
      for (int i = 0; i < kCell; ++i) {
        const uint32_t v = sheet->pixels[size_t((code / 16) * kCell + j) * 128 +
                                         size_t((code % 16) * kCell + i)];
        tile[j * kCell + i] = {255, 255, 255, uint8_t(v ? 255 : 0)};
      }
    if (tcod->setTile(tileset, code, tile) < 0)
      return state.SkipWithError("TCOD_tileset_set_tile_ failed");
  }
  TCOD_Console* console = tcod->consoleNew(size.cols, size.rows);
  const std::vector<int32_t> cells = Cells(size);
  for (size_t i = 0; i < cells.size(); ++i)
    console->tiles[i] = {cells[i], {255, 255, 255, 255}, {0, 0, 0, 255}};
  struct SDL_Surface* surface = nullptr;
  if (tcod->render(tileset, console, nullptr, &surface) < 0)
    return state.SkipWithError("libtcod cannot render headless");
  for (auto _ : state) {
    tcod->render(tileset, console, nullptr, &surface);
    benchmark::DoNotOptimize(surface);
    benchmark::ClobberMemory();
  }
  Label(state);
  tcod->consoleDelete(console);
  tcod->tilesetDelete(tileset);
}
#endif

#if defined(INTRO_HAVE_LIBCACA)
// libcaca renders with its own built-in font, whose glyphs are larger than
// 8 x 8: the label gives the size of the picture it makes.
void BM_Libcaca(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  caca_canvas_t* canvas = caca_create_canvas(size.cols, size.rows);
  caca_font_t* font = caca_load_font(caca_get_font_list()[0], 0);
  if (!canvas || !font) return state.SkipWithError("no libcaca canvas or font");
  caca_set_color_ansi(canvas, CACA_WHITE, CACA_BLACK);
  const std::vector<int32_t> cells = Cells(size);
  for (int32_t r = 0; r < size.rows; ++r)
    for (int32_t c = 0; c < size.cols; ++c)
      caca_put_char(canvas, c, r, uint32_t(cells[size_t(r) * size.cols + c]));
  const int w = size.cols * caca_get_font_width(font);
  const int h = size.rows * caca_get_font_height(font);
  std::vector<uint32_t> buffer(size_t(w) * size_t(h));
  for (auto _ : state) {
    caca_render_canvas(canvas, font, buffer.data(), w, h, w * 4);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::to_string(size.cols) + "x" + std::to_string(size.rows) +
                 " cells, " + std::to_string(w) + "x" + std::to_string(h) +
                 " px (" + caca_get_font_list()[0] + ")");
  caca_free_font(font);
  caca_free_canvas(canvas);
}
#endif

// ---- Sequences of real frames ---------------------------------------------

// The cells of every frame of one sequence, 80 x 60 each.
using Sequence = std::vector<std::vector<int32_t>>;
enum Which { kScene2, kMap };

// The frames being recorded, and how many the current scene may still show.
Sequence* recording = nullptr;
int recordLeft = 0;

// The present while recording: the cells the frame was drawn from.
void RecordFrame(Display*, const Image*) {
  recording->push_back(std::vector<int32_t>(
      demo.screen->cells,
      demo.screen->cells + size_t(demo.screen->cols) * demo.screen->rows));
  if (--recordLeft == 0) DEMOStop();
}

// Runs scene 2 for skip + count frames, then scene 1 for its 200 map frames,
// and keeps the last count of the first and all of the second. Empty when the
// intro cannot start headless.
const Sequence& Recorded(Which which) {
  static const std::vector<Sequence> sequences = [] {
    std::vector<Sequence> out(2);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) != 0) return out;
    DemoConfig record;  // the windowed intro, recording instead of showing
    record.present = RecordFrame;
    DEMOConfigure(record);
    if (chdir(INTRO_SOURCE_DIR "/data") != 0 || !DEMOInit() ||
        demo.screen->cols != 80)
      return out;
    constexpr int kSkip = 100, kCount = 300;
    recording = &out[kScene2];
    recordLeft = kSkip + kCount;
    DEMOScene2();
    out[kScene2].erase(out[kScene2].begin(), out[kScene2].begin() + kSkip);
    demo.runState = DEMO_RUNNING;
    recording = &out[kMap];
    recordLeft = 200;
    DEMOScene1();
    DEMOReset();
    DEMOConfigure(DemoConfig{});
    SDL_Quit();
    return out;
  }();
  return sequences[which];
}

const char* const kSequenceNames[] = {"scene 2", "scene 1 map"};

// Draws every frame of the sequence in turn, the first once beforehand; full
// draws each in full, otherwise DEMORenderFrame redraws what changed.
void DrawSequence(benchmark::State& state, bool full) {
  if (!Usable(state)) return;
  const Which which = Which(state.range(0));
  const Sequence& frames = Recorded(which);
  if (frames.empty())
    return state.SkipWithError("cannot run the intro's scenes headless");
  Scene scene(kSizes[0]);
  RenderCache* cache = DEMORenderCacheNew();
  scene.screen.cells = const_cast<int32_t*>(frames[0].data());
  DEMORenderFrame(cache, scene.frame, &scene.screen, scene.font);
  size_t next = 1;
  for (auto _ : state) {
    scene.screen.cells = const_cast<int32_t*>(frames[next].data());
    if (full) {
      IMGClear(scene.frame);
      DEMORender(scene.frame, &scene.screen, scene.font);
    } else {
      DEMORenderFrame(cache, scene.frame, &scene.screen, scene.font);
    }
    benchmark::DoNotOptimize(scene.frame->pixels);
    benchmark::ClobberMemory();
    if (++next == frames.size()) next = 0;
  }
  DEMORenderCacheFree(&cache);
  state.SetLabel(std::string(kSequenceNames[which]) + ", " +
                 std::to_string(frames.size()) + " frames of 80x60 cells");
}

void BM_ChangedFrame(benchmark::State& state) { DrawSequence(state, false); }
void BM_WholeFrame(benchmark::State& state) { DrawSequence(state, true); }

void Sequences(benchmark::internal::Benchmark* b) {
  b->Arg(kScene2)->Arg(kMap)->Unit(benchmark::kMicrosecond);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
}

// The floor first: every later case is measured against it.
BENCHMARK(BM_Floor)->Apply(Sizes);
BENCHMARK(BM_Render)->Apply(Sizes);
BENCHMARK(BM_Clear)->Apply(Sizes);
BENCHMARK(BM_Memset)->Apply(Sizes);
BENCHMARK(BM_GlyphRows)->Apply(Sizes);
BENCHMARK(BM_PlainPutChar)->Apply(Sizes);
BENCHMARK(BM_Plain)->Apply(Sizes);
BENCHMARK(BM_ChangedFrame)->Apply(Sequences);
BENCHMARK(BM_WholeFrame)->Apply(Sequences);
#if defined(INTRO_HAVE_LIBTCOD)
BENCHMARK(BM_Libtcod)->Apply(Sizes);
#endif
#if defined(INTRO_HAVE_LIBCACA)
BENCHMARK(BM_Libcaca)->Apply(Sizes);
#endif

}  // namespace

int main(int argc, char** argv) {
  bench::RatioTable table;
  const char* const peers[][2] = {{"the floor", "BM_Floor"},
                                  {"plain", "BM_Plain"},
                                  {"libtcod", "BM_Libtcod"},
                                  {"libcaca", "BM_Libcaca"}};
  for (int size = 0; size < 2; ++size) {
    char cells[32];
    std::snprintf(cells, sizeof cells, "%dx%d cells", kSizes[size].cols,
                  kSizes[size].rows);
    for (const auto& [peer, name] : peers) {
      char label[64], ours[32], theirs[32];
      std::snprintf(label, sizeof label, "render %s vs %s", cells, peer);
      std::snprintf(ours, sizeof ours, "BM_Render/%d", size);
      std::snprintf(theirs, sizeof theirs, "%s/%d", name, size);
      table.Add(label, ours, theirs);
    }
  }
  for (int which : {kScene2, kMap}) {
    char label[64], ours[32], theirs[32];
    std::snprintf(label, sizeof label, "changed cells vs whole frames, %s",
                  kSequenceNames[which]);
    std::snprintf(ours, sizeof ours, "BM_ChangedFrame/%d", which);
    std::snprintf(theirs, sizeof theirs, "BM_WholeFrame/%d", which);
    table.Add(label, ours, theirs);
  }
  const int status = bench::RunWithTable(argc, argv, table);
  std::printf("\n%-44s %8s\n", "over a memset of the frame (below: less)",
              "ratio");
  const char* const cases[][2] = {
      {"IMGClear + DEMORender", "BM_Render"},
      {"the clear and glyph rows alone", "BM_GlyphRows"}};
  for (int size = 0; size < 2; ++size) {
    char name[32];
    std::snprintf(name, sizeof name, "BM_Memset/%d", size);
    const double memset = table.FigureOf(name);
    for (const auto& [what, id] : cases) {
      std::snprintf(name, sizeof name, "%s/%d", id, size);
      const double t = table.FigureOf(name);
      if (memset > 0 && t > 0)
        std::printf("%-30s %dx%-10d %7.2fx\n", what, kSizes[size].cols,
                    kSizes[size].rows, t / memset);
    }
  }
  const double memset = table.FigureOf("BM_Memset/0");
  const double changed = table.FigureOf("BM_ChangedFrame/0");
  if (memset > 0 && changed > 0)
    std::printf("%-30s %dx%-10d %7.2fx\n", "a scene-2 frame, changed cells",
                kSizes[0].cols, kSizes[0].rows, changed / memset);
  return status;
}
