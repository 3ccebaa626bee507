// intro-term: the intro in a text terminal. It is the intro's own code
// (start-up, both scenes, the frame step, the key handling, the fade); SDL
// runs on its dummy video driver for the display and the keyboard the driver
// works with. This unit supplies the configuration (the screen size from the
// terminal's size or --size), a present that writes the text screen's cells
// to the terminal, and a poll that first turns the bytes typed on the terminal
// into key events on SDL's queue, so the driver sees them as it sees any key.
#include "term/term.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "demo/demo.h"
#include "sdl/events.h"
#include "sdl/platform.h"

namespace {

constexpr char kProgram[] = "intro-term";
constexpr int kIn = STDIN_FILENO, kOut = STDOUT_FILENO;

constexpr char kUsage[] =
    " [--fps N] [--size WxH] [--stop-at N[,M...]] [--mute]\n"
    "Plays the intro in this terminal, from the data files in the working\n"
    "directory, as characters: 80x60 cells on a terminal of at least 80\n"
    "columns and 60 rows, 40x25 otherwise.\n"
    "  --fps N          at most N presentations a second (0 to 1000, "
    "default\n"
    "                   30); 0 is unlimited\n"
    "  --size WxH       640x480 (80x60 cells) or 320x200 (40x25 cells)\n"
    "  --stop-at LIST   test hook: after showing each presentation N of the\n"
    "                   comma-separated list (counted from 0), wait for a\n"
    "                   key; that key is read by the poll of presentation N\n"
    "  --data DIR       read the data files from the folder DIR instead\n"
    "  --mute           no sound (the soundtrack is played otherwise)\n"
    "  --help           this text\n"
    "  --version        the program's name and version\n"
    "Keys: Escape, q or Q fade to black and quit; space switches scenes.\n"
    "Ctrl-C, SIGINT and SIGTERM quit like Escape; a second one during the\n"
    "fade ends the program at once. Colour is 24-bit when COLORTERM is\n"
    "truecolor or 24bit, from the 256-colour palette otherwise, and off\n"
    "with NO_COLOR set or TERM=dumb.\n";

struct Options {
  int32_t width = 640, height = 480;
  int32_t fps = 30;
  bool sized = false;          // --size given
  bool mute = false;           // --mute: no soundtrack
  std::vector<int32_t> stops;  // sorted
};

Options options;
TermView* view = nullptr;
TermColour colour = TermColour::None;
std::string output;  // one presentation's bytes, reused

// Where code c (33-126) has a pixel of ink within its glyph cell, or -1.
int32_t inkOffset[127];
uint32_t lastInk = 0;

// Terminal input not yet decoded: what may be the start of an escape
// sequence waits here for the rest.
uint8_t pending[512];
size_t pendingLength = 0;
bool inputOpen = true;

// Signals: counted by the handlers, acted on by the main thread. The pipe
// wakes a wait at a stop.
int wakePipe[2] = {-1, -1};
std::atomic<int> quitSignals{0};  // lock-free, so safe in a handler
std::atomic<bool> resized{false};

bool ParseSize(const char* value, void*) {
  if (std::strcmp(value, "640x480") == 0) {
    options.width = 640;
    options.height = 480;
  } else if (std::strcmp(value, "320x200") == 0) {
    options.width = 320;
    options.height = 200;
  } else {
    return false;
  }
  options.sized = true;
  return true;
}

bool ParseStop(const std::string& item, void*) {
  int32_t n = 0;
  if (!cli::ParseNumber(item.c_str(), 0, INT32_MAX - 1, &n)) return false;
  options.stops.push_back(n);
  return true;
}

bool ParseStops(const char* value, void*) {
  if (!cli::ParseList(value, ParseStop, nullptr)) return false;
  std::sort(options.stops.begin(), options.stops.end());
  return true;
}

// The folder of the data files (--data); none: the working directory.
const char* data = nullptr;

// True to run; otherwise *status is the exit status.
bool ParseArguments(int argc, char** argv, int* status) {
  cli::Parser parser(kProgram, kUsage);
  parser.Number("--fps", 0, 1000, &options.fps);
  parser.Custom("--size", "640x480 or 320x200", ParseSize, nullptr);
  parser.Custom("--stop-at", "comma-separated presentation numbers",
                ParseStops, nullptr);
  parser.Text("--data", "a folder", &data);
  parser.Flag("--mute", &options.mute);
  return parser.Parse(argc, argv, status);
}

void Wake() {
  const int saved = errno;
  [[maybe_unused]] ssize_t ignored = write(wakePipe[1], "", 1);
  errno = saved;
}

void OnQuitSignal(int) {
  ++quitSignals;
  Wake();
}

void OnResize(int) {
  resized = true;
  Wake();
}

// The terminal is gone or the program is told to end at once: give the
// terminal back and end as the signal would have ended it.
void OnHangUp(int signal) {
  TERMTtyRestore();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

bool InstallSignals() {
  if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnQuitSignal;
  // Installed before SDL starts, which then leaves SIGINT and SIGTERM alone.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnResize;
  sigaction(SIGWINCH, &action, nullptr);
  action.sa_handler = OnHangUp;
  // Started with hang-ups ignored (nohup), they stay ignored: a closed
  // terminal then shows as a write error.
  struct sigaction before {};
  if (sigaction(SIGHUP, nullptr, &before) != 0 || before.sa_handler != SIG_IGN)
    sigaction(SIGHUP, &action, nullptr);
  sigaction(SIGQUIT, &action, nullptr);
  action.sa_handler = SIG_IGN;  // a closed terminal is a write error instead
  sigaction(SIGPIPE, &action, nullptr);
  return true;
}

// Finds, for every printable code, one pixel of its glyph that is ink: the
// colour the frame shows there is the colour of the text, darkened as the
// fade darkens the frame.
bool FindInk() {
  bool any = false;
  const Font* font = demo.font;
  Image* cell = IMGNew();
  if (cell && font && font->glyphs)
    IMGResize(cell, font->cellWidth, font->cellHeight);
  if (cell && cell->pixels) {
    for (int32_t c = 33; c <= 126; ++c) {
      inkOffset[c] = -1;
      IMGClear(cell);
      FONTPutChar(font, c, 0, 0, cell);
      const int32_t size = cell->width * cell->height;
      for (int32_t i = 0; i < size && inkOffset[c] < 0; ++i)
        if (cell->pixels[i]) inkOffset[c] = i;
      if (!any && inkOffset[c] >= 0) {
        lastInk = cell->pixels[inkOffset[c]];  // until a frame shows text
        any = true;
      }
    }
  }
  if (cell) IMGFree(&cell);
  return any;
}

uint32_t SampleInk(const Image* frame) {
  const TextScreen* s = demo.screen;
  const int32_t cw = demo.font->cellWidth, ch = demo.font->cellHeight;
  const int32_t n = s->cols * s->rows;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t code = s->cells[i];
    if (code < 33 || code > 126 || inkOffset[code] < 0) continue;
    const int32_t x = (i % s->cols) * cw + inkOffset[code] % cw;
    const int32_t y = (i / s->cols) * ch + inkOffset[code] / cw;
    if (x < frame->width && y < frame->height)
      return lastInk = frame->pixels[static_cast<size_t>(y) * frame->width + x];
  }
  return lastInk;  // nothing on screen: the colour does not matter
}

void DrainWakePipe() {
  char bytes[64];
  while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
  }
}

void WriteFailed() {
  TERMTtyRestore();
  std::fprintf(stderr, "%s: cannot write to the terminal\n", kProgram);
  std::exit(1);
}

void Show(const Image* frame) {
  if (resized.exchange(false)) {
    int32_t cols = 0, rows = 0;
    if (TERMTtySize(kOut, &cols, &rows)) TERMResize(view, cols, rows);
  }
  output.clear();
  const uint32_t ink = colour == TermColour::None ? 0 : SampleInk(frame);
  TERMDraw(view, demo.screen->cells, ink, &output);
  if (!TERMWrite(kOut, output.data(), output.size())) WriteFailed();
}

// Reads what the terminal has sent, waiting at most timeoutMs (-1: until
// something comes). False if nothing came.
bool ReadInput(int timeoutMs) {
  if (!inputOpen || pendingLength == sizeof pending) return false;
  pollfd p{kIn, POLLIN, 0};
  int ready = poll(&p, 1, timeoutMs);
  if (ready <= 0) return false;
  const ssize_t n =
      read(kIn, pending + pendingLength, sizeof pending - pendingLength);
  if (n <= 0) {
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) inputOpen = false;
    return false;
  }
  pendingLength += static_cast<size_t>(n);
  return true;
}

void PushKeys(const int32_t* keys, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    if (keys[k] == TERM_KEY_INTERRUPT) {
      SDLEventsPushQuit();
    } else {
      SDLEventsPushKey(keys[k], true);
      SDLEventsPushKey(keys[k], false);
    }
  }
}

void Consume(size_t used) {
  std::memmove(pending, pending + used, pendingLength - used);
  pendingLength -= used;
}

// Queues SDL's quit event for every quit signal, and a press and a release
// for every key typed, as SDL queues them for a window.
void PumpInput() {
  for (int n = quitSignals.exchange(0); n > 0; --n) SDLEventsPushQuit();
  while (ReadInput(0)) {
  }
  int32_t keys[sizeof pending];
  size_t count = 0;
  while (pendingLength > 0) {
    Consume(TERMDecodeKeys(pending, pendingLength, false, keys, &count));
    PushKeys(keys, count);
    if (pendingLength == 0) break;
    // What is left may be the start of an escape sequence: the rest comes
    // at once, or it was a lone Escape.
    if (!ReadInput(TERM_ESCAPE_WAIT_MS)) {
      Consume(TERMDecodeKeys(pending, pendingLength, true, keys, &count));
      PushKeys(keys, count);
    }
  }
}

// A stop of --stop-at: waits until a key is typed or a quit signal comes,
// redrawing on a resize meanwhile.
void WaitAtStop(const Image* frame) {
  for (;;) {
    if (pendingLength > 0 || quitSignals > 0) return;
    pollfd p[2] = {{wakePipe[0], POLLIN, 0}, {inputOpen ? kIn : -1, POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return;
    DrainWakePipe();
    if (resized) Show(frame);
    if (p[1].revents) ReadInput(0);
  }
}

bool IsStop(int32_t n) {
  return std::binary_search(options.stops.begin(), options.stops.end(), n);
}

void Present(Display*, const Image* frame) {
  const int32_t n = demo.presentations;  // counted by the driver afterwards
  // Without colour the fade changes nothing that a terminal shows: its
  // presentations pass at once and the program simply ends.
  const bool visible =
      colour != TermColour::None || !(demo.runState & DEMO_QUIT);
  if (visible) {
    DEMOPace();
    Show(frame);
  }
  if (IsStop(n)) WaitAtStop(frame);
  PumpInput();
}

void Poll(Keyboard* keyboard) {
  PumpInput();
  SDLKBDGetKey(keyboard);
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (!ParseArguments(argc, argv, &status)) return status;
  if (!cli::EnterDataFolder(kProgram, data)) return 1;
  int32_t cols = 0, rows = 0;
  if (!isatty(kOut) || !TERMTtySize(kOut, &cols, &rows)) {
    std::fprintf(stderr, "%s: standard output is not a terminal\n", kProgram);
    return 1;
  }
  if (!options.sized && (cols < 80 || rows < 60)) {
    options.width = 320;
    options.height = 200;
  }
  DemoConfig config;
  config.width = options.width;
  config.height = options.height;
  config.present = Present;
  config.poll = Poll;
  config.sound = options.mute ? DemoSound::Off : DemoSound::Device;
  DEMOConfigure(config);
  colour = TERMChooseColour(std::getenv("COLORTERM"), std::getenv("NO_COLOR"),
                            std::getenv("TERM"));
  DEMOSetRate(options.fps);
  if (!InstallSignals()) return 1;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (!SDLPlatformInit()) return 1;
  if (!DEMOInit()) {
    DEMOFree();
    return 1;
  }
  // Without a glyph sheet there is no ink to take the colour from.
  if (!FindInk()) colour = TermColour::None;
  view = TERMNew(demo.screen->cols, demo.screen->rows, cols, rows, colour);
  if (!view) {
    DEMOFree();
    return 1;
  }
  std::atexit(TERMTtyRestore);
  if (!TERMTtyEnter(kIn, kOut)) WriteFailed();
  output.reserve(1 << 16);
  DEMORun();
  DEMOFree();
  TERMTtyRestore();
  if (view->cut)
    std::fprintf(stderr,
                 "%s: the terminal (%dx%d) showed only the top-left part of "
                 "the %dx%d cells; it needs at least %d columns and %d rows\n",
                 kProgram, view->cutCols, view->cutRows, view->cols, view->rows,
                 view->cols, view->rows);
  TERMFree(&view);
  return 0;
}
