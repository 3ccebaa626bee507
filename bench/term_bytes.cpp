// term_bytes: how many bytes intro-term writes per presentation, against a
// full redraw of the same frames, at 80 x 60 and at 40 x 25 cells. Plays the
// intro headless (SDL's dummy driver): scene 1 runs its 400 presentations,
// scene 2 the next 600, then q. Every presentation is encoded three ways: as
// intro-term writes it (changed cells only, in synchronized-output
// brackets), as a full redraw that writes every cell of every row, and as a
// clear of the screen followed by every non-blank cell. Also reports the
// bytes a second at intro-term's default 30 presentations a second, and the
// share of cells elided (unchanged since the presentation before, so not
// written). Exits 1 if the changed-cells average of a scene exceeds the
// clear-and-cells average, or at 80 x 60 half of the full redraw's (at 40 x
// 25 the stars of scene 2 move over about half of the few cells there are). Run from the data folder: cd data && ../build/bench/term_bytes
#include <cstdio>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "sdl/events.h"
#include "sdl/platform.h"
#include "term/term.h"

namespace {

constexpr int32_t kScene2 = 400;  // first presentation of scene 2
constexpr int32_t kQuit = 999;    // q is read by this presentation's poll
constexpr uint32_t kInk = 0xC0E0C0;
constexpr double kFps = 30;  // intro-term's default pace

TermView* changed = nullptr;
TermView* cleared = nullptr;
std::vector<char> last;  // the glyphs of the presentation before

struct Totals {
  int64_t presentations = 0, changed = 0, full = 0, cleared = 0;
  int64_t cells = 0, elided = 0;  // over the diffed presentations
} scenes[2];

// Every cell of every row, each row after an absolute cursor move.
int64_t FullRedrawBytes(int32_t cols, int32_t rows) {
  int64_t bytes = 0;
  for (int32_t r = 0; r < rows; ++r)
    bytes += 3 + (r ? std::to_string(r + 1).size() : 0) + cols;
  return bytes;
}

void Present(Display*, const Image*) {
  const int32_t n = demo.presentations;
  if (n > kQuit) return;  // the fade
  const TextScreen* s = demo.screen;
  const int32_t cells = s->cols * s->rows;
  Totals& t = scenes[n < kScene2 ? 0 : 1];
  ++t.presentations;
  TERMDraw(changed, s->cells, kInk);
  if (n > 0) {
    t.changed += static_cast<int64_t>(changed->outSize);
    t.cells += cells;
    for (int32_t i = 0; i < cells; ++i)
      t.elided += last[i] == TERMGlyph(s->cells[i]);
  }
  for (int32_t i = 0; i < cells; ++i) last[i] = TERMGlyph(s->cells[i]);
  TERMResize(cleared, s->cols, s->rows);
  TERMDraw(cleared, s->cells, kInk);
  t.cleared += static_cast<int64_t>(cleared->outSize);
  t.full += FullRedrawBytes(s->cols, s->rows);
}

void Poll(Keyboard* keyboard) {
  if (demo.presentations - 1 == kQuit) {
    SDLEventsPushKey('q', true);
    SDLEventsPushKey('q', false);
  }
  SDLKBDGetKey(keyboard);
}

bool Measure(int32_t width, int32_t height) {
  DemoConfig config;
  config.width = width;
  config.height = height;
  config.present = Present;
  config.poll = Poll;
  DEMOConfigure(config);
  scenes[0] = scenes[1] = Totals{};
  if (!DEMOInit()) return false;
  const int32_t cols = demo.screen->cols, rows = demo.screen->rows;
  changed = TERMNew(cols, rows, cols, rows, TermColour::Palette);
  cleared = TERMNew(cols, rows, cols, rows, TermColour::Palette);
  if (!changed || !cleared) return false;
  changed->synchronized = true;
  last.assign(static_cast<size_t>(cols) * rows, ' ');
  DEMORun();
  DEMOFree();
  DEMOReset();
  bool ok = true;
  std::printf("%dx%d cells, 256 colours, bytes per presentation:\n", cols,
              rows);
  std::printf("%-6s %6s %9s %9s %12s %12s %10s %7s\n", "scene", "frames",
              "changed", "full", "clear+cells", "changed/full", "B/s@30fps",
              "elided");
  for (int k = 0; k < 2; ++k) {
    const Totals& t = scenes[k];
    // The first presentation of the run is a redraw either way.
    const int64_t diffed = k == 0 ? t.presentations - 1 : t.presentations;
    const double c = double(t.changed) / diffed,
                 f = double(t.full) / t.presentations,
                 e = double(t.cleared) / t.presentations;
    std::printf("%-6d %6lld %9.0f %9.0f %12.0f %12.2f %10.0f %6.1f%%\n", k + 1,
                static_cast<long long>(t.presentations), c, f, e, c / f,
                c * kFps, 100.0 * double(t.elided) / double(t.cells));
    ok = ok && c <= e && (cols < 80 || c <= f / 2);
  }
  TERMFree(&changed);
  TERMFree(&cleared);
  return ok;
}

}  // namespace

int main() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (!SDLPlatformInit()) return 1;
  const bool large = Measure(640, 480);
  const bool small = Measure(320, 200);
  return large && small ? 0 : 1;
}
