// term_bytes: how many bytes intro-term writes per presentation, against a
// full redraw of the same frames. Plays the intro headless (SDL's dummy
// driver) at 80 x 60 cells: scene 1 runs its 400 presentations, scene 2 the
// next 600, then q. Every presentation is encoded three ways: as intro-term
// writes it (changed cells only), as a full redraw that writes every cell of
// every row, and as a clear of the screen followed by every non-blank cell.
// Exits 1 if the changed-cells average of a scene exceeds half of the full
// redraw's. Run from the data folder: cd data && ../build/bench/term_bytes
#include <cstdio>
#include <string>

#include "demo/demo.h"
#include "sdl/events.h"
#include "sdl/platform.h"
#include "term/term.h"

namespace {

constexpr int32_t kScene2 = 400;  // first presentation of scene 2
constexpr int32_t kQuit = 999;    // q is read by this presentation's poll
constexpr uint32_t kInk = 0xC0E0C0;

TermView* changed = nullptr;
TermView* cleared = nullptr;
std::string out;

struct Totals {
  int64_t presentations = 0, changed = 0, full = 0, cleared = 0;
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
  Totals& t = scenes[n < kScene2 ? 0 : 1];
  ++t.presentations;
  out.clear();
  TERMDraw(changed, s->cells, kInk, &out);
  if (n > 0) t.changed += static_cast<int64_t>(out.size());
  out.clear();
  TERMResize(cleared, s->cols, s->rows);
  TERMDraw(cleared, s->cells, kInk, &out);
  t.cleared += static_cast<int64_t>(out.size());
  t.full += FullRedrawBytes(s->cols, s->rows);
}

void Poll(Keyboard* keyboard) {
  if (demo.presentations - 1 == kQuit) {
    SDLEventsPushKey('q', true);
    SDLEventsPushKey('q', false);
  }
  SDLKBDGetKey(keyboard);
}

}  // namespace

int main() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  DemoConfig config;  // the windowed intro's 640 x 480
  config.present = Present;
  config.poll = Poll;
  DEMOConfigure(config);
  if (!SDLPlatformInit() || !DEMOInit()) return 1;
  changed = TERMNew(demo.screen->cols, demo.screen->rows, demo.screen->cols,
                    demo.screen->rows, TermColour::Palette);
  cleared = TERMNew(demo.screen->cols, demo.screen->rows, demo.screen->cols,
                    demo.screen->rows, TermColour::Palette);
  if (!changed || !cleared) return 1;
  DEMORun();
  DEMOFree();
  bool ok = true;
  std::printf("%-8s %6s %12s %12s %12s %8s\n", "scene", "frames", "changed",
              "full", "clear+cells", "changed/full");
  for (int k = 0; k < 2; ++k) {
    const Totals& t = scenes[k];
    // The first presentation of the run is a redraw either way.
    const int64_t diffed = k == 0 ? t.presentations - 1 : t.presentations;
    const double c = double(t.changed) / diffed, f = double(t.full) / t.presentations,
                 e = double(t.cleared) / t.presentations;
    std::printf("%-8d %6lld %12.0f %12.0f %12.0f %8.2f\n", k + 1,
                static_cast<long long>(t.presentations), c, f, e, c / f);
    ok = ok && c <= f / 2;
  }
  std::printf("bytes per presentation at 80x60, 256 colours\n");
  TERMFree(&changed);
  TERMFree(&cleared);
  return ok ? 0 : 1;
}
