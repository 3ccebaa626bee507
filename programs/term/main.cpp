// intro-term: the intro in a text terminal. It is the intro's own code
// (start-up, both scenes, the frame step, the key handling, the fade); SDL
// runs on its dummy video driver for the display and the keyboard the driver
// works with. This unit supplies the configuration (the screen size from the
// terminal's size or --size), a present that writes the text screen's cells
// to the terminal, and a poll that first turns the bytes typed on the terminal
// into key events on SDL's queue, so the driver sees them as it sees any key.
// The terminal itself (its modes, the signals, writing without blocking, the
// key decoder, the cast encoder) is the term library's.
#include "term/term.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/output_file.h"
#include "demo/demo.h"
#include "demo/watch.h"
#include "recording/recording.h"
#include "render/ink.h"
#include "sdl/events.h"
#include "sdl/platform.h"

namespace {

constexpr char kProgram[] = "intro-term";
constexpr int kIn = STDIN_FILENO, kOut = STDOUT_FILENO;

constexpr char kUsage[] =
    " [--fps N] [--size WxH] [--stop-at N[,M...]] [--cast FILE]\n"
    "       [--watch] [--mute]\n"
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
    "  --cast FILE      also record what is played, in real time, as an\n"
    "                   asciicast v2 file\n"
    "  --watch          take in every data file saved while it plays\n"
    "  --mute           no sound (the soundtrack is played otherwise)\n"
    "  --help           this text\n"
    "  --version        the program's name and version\n"
    "Keys: Escape, q or Q fade to black and quit; space switches scenes.\n"
    "Ctrl-C, SIGINT and SIGTERM quit like Escape; a second one during the\n"
    "fade ends the program at once. Ctrl-Z or SIGTSTP gives the terminal\n"
    "back and stops; fg takes it again. Colour is 24-bit when COLORTERM is\n"
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
TermLink* link = nullptr;
TermColour colour = TermColour::None;
int frameOut = -1;         // the terminal, written without blocking
bool stale = false;        // a presentation found the link busy
bool sizeUnknown = false;  // the terminal reported 0 x 0
CastRecording* cast = nullptr;
const char* castPath = nullptr;  // --cast
std::string castFile;            // castPath named from the starting folder
std::chrono::steady_clock::time_point started;

// Where each printable glyph has ink, and the colour text was last shown in.
InkMap inkMap;
uint32_t lastInk = 0;

// Terminal input: the decoder keeps its place in a sequence from one read to
// the next.
TermKeys decoder{};
bool inputOpen = true;
int quitSignals = 0;  // taken from the guard, not yet queued

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
bool watch = false;  // --watch

// True to run; otherwise *status is the exit status.
bool ParseArguments(int argc, char** argv, int* status) {
  cli::Parser parser(kProgram, kUsage);
  parser.Number("--fps", 0, 1000, &options.fps);
  parser.Custom("--size", "640x480 or 320x200", ParseSize, nullptr);
  parser.Custom("--stop-at", "comma-separated presentation numbers",
                ParseStops, nullptr);
  parser.Text("--data", "a folder", &data);
  parser.Text("--cast", "a file", &castPath);
  parser.Flag("--watch", &watch);
  parser.Flag("--mute", &options.mute);
  return parser.Parse(argc, argv, status);
}

// The colour of the text as the frame shows it (darkened as the fade darkens
// the frame); the last one seen while the screen holds no text.
uint32_t SampleInk(const Image* frame) {
  return lastInk = INKSample(frame, demo.screen, demo.font, &inkMap, lastInk);
}

void WriteFailed() {
  TERMTtyRestore();
  std::fprintf(stderr, "%s: cannot write to the terminal\n", kProgram);
  std::exit(1);
}

void CastFailed(const std::string& error) {
  TERMTtyRestore();
  std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
  RECCastDiscard(&cast);
  std::exit(1);
}

// Brings the view up to the terminal's size after a resize, and has it
// redraw everything after a stop (the terminal was someone else's then).
void Refresh() {
  const bool continued = TERMGuardTakeContinued();
  if (TERMGuardTakeResized() || continued) {
    int32_t cols = 0, rows = 0;
    if (TERMTtySize(kOut, &cols, &rows)) TERMResize(view, cols, rows);
  }
}

// Shows the text screen's cells, without waiting for a slow terminal: while
// it still takes the frame in flight, nothing is drawn, so nothing stale is
// queued; once it has taken it, the next presentation writes what differs
// between that frame and the newest. Each frame is one write when the
// terminal has room for it.
void Show(const Image* frame) {
  Refresh();
  if (!TERMLinkFlush(link)) WriteFailed();
  if (TERMLinkBusy(link)) {
    ++link->skipped;
    stale = true;
    return;
  }
  stale = false;
  const uint32_t ink = colour == TermColour::None ? 0 : SampleInk(frame);
  TERMDraw(view, demo.screen->cells, ink);
  if (!TERMLinkSend(link, view->out, view->outSize)) WriteFailed();
}

void Record() {
  if (!cast) return;
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
  std::string error;
  if (!RECCastAdd(cast, us, demo.screen->cells, &error)) CastFailed(error);
}

// Reads what the terminal has sent, waiting at most timeoutMs for the first
// byte, and decodes it into keys. False if nothing came.
bool ReadInput(int timeoutMs, int32_t* keys, size_t* count) {
  *count = 0;
  if (!inputOpen) return false;
  pollfd p{kIn, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  uint8_t bytes[4096];
  const ssize_t n = read(kIn, bytes, sizeof bytes);
  if (n <= 0) {
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) inputOpen = false;
    return false;
  }
  *count = TERMDecodeKeys(&decoder, bytes, static_cast<size_t>(n), keys);
  return true;
}

// What one poll makes of the keys typed since the last: the driver acts on
// one key per poll, so a quit key typed anywhere in them wins, then a space,
// then the last other key. However much is typed or pasted, SDL's queue gets
// at most one quit event and one key.
struct Typed {
  bool interrupt = false, suspend = false;
  int32_t quitKey = 0, space = 0, other = 0;

  void Note(const int32_t* keys, size_t count) {
    for (size_t k = 0; k < count; ++k) {
      const int32_t key = keys[k];
      if (key == TERM_KEY_INTERRUPT)
        interrupt = true;
      else if (key == 27 || key == 'q' || key == 'Q')
        quitKey = key;
      else if (key == ' ')
        space = key;
      else if (key == kSuspend)
        suspend = true;
      else
        other = key;
    }
  }
  int32_t Key() const { return quitKey ? quitKey : space ? space : other; }

  static constexpr int32_t kSuspend = 26;  // Ctrl-Z
};

// Reads everything the terminal has sent (a bounded amount per poll, so a
// flood does not stall the intro; the rest waits for the next poll) and
// queues SDL's quit event for quit signals and Ctrl-C, and a press and a
// release of the key that counts.
void PumpInput() {
  Typed typed;
  int32_t keys[4096 + 1];
  size_t count = 0;
  for (int reads = 0; reads < 256 && ReadInput(0, keys, &count); ++reads)
    typed.Note(keys, count);
  // What is left may be the start of an escape sequence: the rest comes at
  // once, or it was a lone Escape.
  while (TERMKeysWaiting(&decoder)) {
    if (ReadInput(TERM_ESCAPE_WAIT_MS, keys, &count)) {
      typed.Note(keys, count);
    } else {
      typed.Note(keys, TERMKeysTimeout(&decoder, keys));
      break;
    }
  }
  quitSignals += TERMGuardTakeQuits();
  if (quitSignals > 0 || typed.interrupt) SDLEventsPushQuit();
  quitSignals = 0;
  if (const int32_t key = typed.Key()) {
    SDLEventsPushKey(key, true);
    SDLEventsPushKey(key, false);
  }
  if (typed.suspend) raise(SIGTSTP);
}

// A stop of --stop-at: waits until a key is typed or a quit signal comes,
// redrawing on a resize or a continue meanwhile, and finishing the frame in
// flight, then the newest, on a slow terminal.
void WaitAtStop(const Image* frame) {
  for (;;) {
    quitSignals += TERMGuardTakeQuits();
    if (quitSignals > 0) return;
    const bool busy = TERMLinkBusy(link);
    pollfd p[3] = {{TERMGuardWakeFd(), POLLIN, 0},
                   {inputOpen ? kIn : -1, POLLIN, 0},
                   {busy ? frameOut : -1, POLLOUT, 0}};
    if (poll(p, 3, -1) < 0 && errno != EINTR) return;
    if (p[1].revents) return;  // read by the poll that follows
    // A signal may have cut the poll short before the wake was seen: the
    // view is brought up to date either way (an unchanged one writes
    // nothing).
    TERMGuardDrain();
    Show(frame);
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
  Record();
  if (IsStop(n)) WaitAtStop(frame);
  PumpInput();
}

void Poll(Keyboard* keyboard) {
  PumpInput();
  SDLKBDGetKey(keyboard);
}

int Run(int argc, char** argv) {
  int status = 0;
  if (!ParseArguments(argc, argv, &status)) return status;
  // The cast is named from where the program was started, also when the data
  // files are read from elsewhere.
  if (castPath) {
    castFile = castPath;
    if (!intro::MakeAbsolute(&castFile)) {
      std::fprintf(stderr, "%s: cannot name the working folder: %s\n",
                   kProgram, std::strerror(errno));
      return 1;
    }
  }
  if (!cli::EnterDataFolder(kProgram, data)) return 1;
  int32_t cols = 0, rows = 0;
  if (!isatty(kOut) || !TERMTtySize(kOut, &cols, &rows, &sizeUnknown)) {
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
  if (!TERMGuardInstall()) return 1;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (!SDLPlatformInit()) return 1;
  if (!DEMOInit()) {
    DEMOFree();
    return 1;
  }
  // Without a glyph sheet there is no ink to take the colour from.
  const bool inked = INKFind(demo.font, &inkMap);
  lastInk = inkMap.first;  // until a frame shows text
  if (!inked) colour = TermColour::None;
  view = TERMNew(demo.screen->cols, demo.screen->rows, cols, rows, colour);
  frameOut = TERMTtyOpenOutput(kOut);
  link = TERMLinkNew(frameOut >= 0 ? frameOut : kOut);
  if (!view || !link) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
    DEMOFree();
    return 1;
  }
  view->synchronized = true;
  if (castPath) {
    std::string error;
    cast = RECCastOpen(castFile.c_str(), view->cols, view->rows,
                       inked ? lastInk : 0xAAAAAA, 0, &error);
    if (!cast) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      DEMOFree();
      return 1;
    }
  }
  if (watch) DEMOWatchStart();  // a refusal is told before the screen is taken
  std::atexit(TERMTtyRestore);
  if (!TERMTtyEnter(kIn, kOut)) WriteFailed();
  started = std::chrono::steady_clock::now();
  DEMORun();
  DEMOFree();
  TERMTtyRestore();
  if (sizeUnknown)
    std::fprintf(stderr,
                 "%s: the terminal reported no size (0x0); it was taken to "
                 "be %dx%d\n",
                 kProgram, TERM_UNKNOWN_COLS, TERM_UNKNOWN_ROWS);
  if (view->cut && !sizeUnknown)
    std::fprintf(stderr,
                 "%s: the terminal (%dx%d) showed only the top-left part of "
                 "the %dx%d cells; it needs at least %d columns and %d rows\n",
                 kProgram, view->cutCols, view->cutRows, view->cols, view->rows,
                 view->cols, view->rows);
  if (cast) {
    std::string error;
    if (!RECCastClose(&cast, &error)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return 1;
    }
  }
  TERMFree(&view);
  TERMLinkFree(&link);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing on the way to the terminal allocates once it is taken; should
  // memory run out anywhere all the same, the terminal is given back and the
  // program ends with one line.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    TERMTtyRestore();
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
    return 1;
  }
}
