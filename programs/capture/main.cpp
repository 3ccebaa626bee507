// intro-capture: plays the intro without a display, on SDL's dummy video
// driver, and writes what every presentation shows to numbered P6 files. It is
// the intro's own code (start-up, both scenes, the frame step, the fade); this
// unit only supplies the configuration (screen size from the command line),
// a present that also records, and a poll that first queues scripted keys.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/output_file.h"
#include "demo/demo.h"
#include "recording/recording.h"
#include "sdl/display.h"
#include "sdl/events.h"
#include "sdl/platform.h"
#include "term/term.h"

namespace {

constexpr char kProgram[] = "intro-capture";
constexpr char kUsage[] =
    " [options]\n"
    "Plays the intro headless from the data files in the working directory\n"
    "and writes every presented frame as frame-NNNNNN.ppm.\n"
    "  --size WxH      640x480 (default) or 320x200; other multiples of 8\n"
    "                  from 8 to 4096 are accepted\n"
    "  --frames N      stop after N presentations (default 1000)\n"
    "  --keys LIST     comma-separated FRAME:KEY items; KEY is space, escape,\n"
    "                  q, Q or a decimal SDL key symbol. The key goes down\n"
    "                  before the keyboard poll of presentation FRAME and up\n"
    "                  before the poll of FRAME + 1; at most 50 keys for one\n"
    "                  presentation\n"
    "  --out DIR       where to write (default capture/, created if missing)\n"
    "  --from A        first presentation to write (default 0)\n"
    "  --every K       write every K-th presentation (default 1)\n"
    "  --cells         also write the rendered text screen as "
    "cells-NNNNNN.txt\n"
    "  --png           write frame-NNNNNN.png in place of the PPM files\n"
    "  --gif FILE      write the chosen presentations as one animated GIF\n"
    "                  (no frame files then, unless --png is given too)\n"
    "  --cast FILE     write the terminal rendition of the chosen\n"
    "                  presentations as an asciicast v2 file (no frame files\n"
    "                  then, unless --png is given too)\n"
    "  --wav FILE      also write the soundtrack of the presentations\n"
    "                  recorded (from --from on, the quit fade included) as\n"
    "                  one WAV file, 48 kHz 16-bit stereo\n"
    "  --fps N         the speed of the GIF, the cast and the WAV: N\n"
    "                  presentations a second, 1 to 1000 (default 50)\n"
    "  --data DIR      read the data files from the folder DIR instead\n"
    "  --help          this text\n"
    "  --version       the program's name and version\n";

struct ScriptedKey {
  int32_t presentation;
  int32_t sym;
};

struct Options {
  int32_t width = 640, height = 480;
  int32_t frames = 1000;
  int32_t from = 0;
  int32_t every = 1;
  bool cells = false;
  bool png = false;
  int32_t fps = 50;
  std::string gif;  // none: no GIF
  std::string cast;  // none: no cast
  std::string out = "capture";
  const char* gifArg = nullptr;
  const char* castArg = nullptr;
  std::string wav;  // none: no WAV
  const char* wavArg = nullptr;
  const char* outArg = nullptr;
  const char* data = nullptr;  // none: the working directory
  std::vector<ScriptedKey> keys;
};

Options options;
bool stopping =
    false;  // the requested presentations are done, or a write failed
bool failed = false;
int32_t written = 0;
GifRecording* gif = nullptr;
int32_t gifFrames = 0;
CastRecording* cast = nullptr;
// Whatever way main ends, an unfinished GIF leaves no temporary file behind.
struct GifGuard {
  ~GifGuard() {
    RECGifDiscard(&gif);
    RECCastDiscard(&cast);
  }
} gifGuard;
WavRecording* wav = nullptr;
int64_t wavFrames = 0;
struct WavGuard {
  ~WavGuard() { RECWavDiscard(&wav); }
} wavGuard;
std::chrono::steady_clock::time_point started;

bool ParseSize(const char* text, void*) {
  int32_t width, height;
  if (!cli::ParseSize(text, 8, 4096, &width, &height)) return false;
  if (width % 8 || height % 8) return false;
  options.width = width;
  options.height = height;
  return true;
}

bool ParseKey(const std::string& item, void*) {
  const size_t colon = item.find(':');
  if (colon == std::string::npos) return false;
  const std::string frame = item.substr(0, colon), key = item.substr(colon + 1);
  ScriptedKey k{};
  if (!cli::ParseNumber(frame.c_str(), 0, INT32_MAX - 1, &k.presentation))
    return false;
  if (key == "space")
    k.sym = ' ';
  else if (key == "escape")
    k.sym = 27;
  else if (key == "q" || key == "Q")
    k.sym = key[0];
  else if (!cli::ParseNumber(key.c_str(), 1, 65535, &k.sym) ||
           !SDLEventsIsKey(k.sym))
    return false;
  options.keys.push_back(k);
  return true;
}

bool ParseKeys(const char* text, void*) {
  return cli::ParseList(text, ParseKey, nullptr);
}

// Every poll must find all its key events on SDL's queue, which holds only so
// many: the presses due at one presentation and the releases of the one
// before share a drain. False (after a report) when a presentation has more
// presses than half of that room.
bool KeysFitTheQueue(const cli::Parser& parser) {
  constexpr int kMostPerPresentation = SDLEVENTS_QUEUE_ROOM / 2;
  static_assert(kMostPerPresentation == 50, "the usage text says 50");
  std::vector<int32_t> at;
  for (const ScriptedKey& key : options.keys) at.push_back(key.presentation);
  std::sort(at.begin(), at.end());
  for (size_t i = 0; i < at.size();) {
    size_t j = i;
    while (j < at.size() && at[j] == at[i]) ++j;
    if (j - i > size_t(kMostPerPresentation)) {
      char reason[128];
      std::snprintf(reason, sizeof reason,
                    "%zu keys for presentation %d; SDL's event queue takes at "
                    "most %d for one presentation",
                    j - i, at[i], kMostPerPresentation);
      parser.Refuse(reason);
      return false;
    }
    i = j;
  }
  return true;
}

// 0: parsed and checked; otherwise the exit status to end with, and -1 for
// status 0 (--help, --version).
int ParseArguments(int argc, char** argv) {
  cli::Parser parser(kProgram, kUsage);
  parser.Custom("--size", "WxH, multiples of 8 from 8 to 4096", ParseSize,
                nullptr);
  parser.Number("--frames", 0, INT32_MAX, &options.frames);
  parser.Custom("--keys", "comma-separated FRAME:KEY items", ParseKeys,
                nullptr);
  parser.Text("--out", "a folder", &options.outArg);
  parser.Text("--data", "a folder", &options.data);
  parser.Number("--from", 0, INT32_MAX, &options.from);
  parser.Number("--every", 1, INT32_MAX, &options.every);
  parser.Flag("--cells", &options.cells);
  parser.Flag("--png", &options.png);
  parser.Text("--gif", "a file", &options.gifArg);
  parser.Text("--cast", "a file", &options.castArg);
  parser.Text("--wav", "a file", &options.wavArg);
  parser.Number("--fps", 1, 1000, &options.fps);
  int status = 0;
  if (!parser.Parse(argc, argv, &status)) return status == 0 ? -1 : status;
  if (options.outArg) options.out = options.outArg;
  if (options.gifArg) options.gif = options.gifArg;
  if (options.castArg) options.cast = options.castArg;
  if (options.wavArg) options.wav = options.wavArg;
  return KeysFitTheQueue(parser) ? 0 : 2;
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 &&
          errno != EEXIST)
        return false;
    }
    if (i < path.size()) partial += path[i];
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes the text screen's cells, one line a row; false after a report.
bool WriteCells(const std::string& name) {
  std::string text;
  const TextScreen* s = demo.screen;
  for (int32_t r = 0; s && r < s->rows; ++r) {
    for (int32_t c = 0; c < s->cols; ++c) {
      int32_t v = s->cells[r * s->cols + c];
      text.push_back(v >= 32 && v <= 126 ? static_cast<char>(v) : '?');
    }
    text.push_back('\n');
  }
  intro::OutputFile file;
  if (file.Open(name.c_str()) && file.Write(text.data(), text.size()) &&
      file.Commit(true))
    return true;
  std::fprintf(stderr, "intro-capture: %s\n", file.Reason().c_str());
  return false;
}

// The end of the run after a failure: the scene returns after this frame and
// nothing more is recorded.
void Fail() {
  failed = true;
  stopping = true;
  DEMOStop();
}

// One line for a file that could not be written, from errno.
void ReportUnwritable(const std::string& path) {
  if (errno == ENOMEM)
    std::fprintf(stderr, "intro-capture: out of memory writing %s\n",
                 path.c_str());
  else
    std::fprintf(stderr, "intro-capture: %s\n",
                 intro::CannotWrite(path, errno).c_str());
}

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                       started)
      .count();
}

// Frame files are written unless only a GIF or a cast was asked for.
bool FrameFiles() {
  return (options.gif.empty() && options.cast.empty()) || options.png;
}

bool RecordGif(int32_t n, const Image* frame) {
  std::string error;
  bool reduced = false;
  if (!RECGifAdd(gif, frame, &reduced, &error)) {
    std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
    return false;
  }
  if (reduced)
    std::fprintf(stderr,
                 "intro-capture: presentation %d has more than 256 colours;"
                 " reduced to 256 in the GIF\n",
                 n);
  return true;
}

void Record(int32_t n, const Image* frame) {
  if (n < options.from || (n - options.from) % options.every) return;
  try {
    if (gif && !RecordGif(n, frame)) {
      Fail();
      return;
    }
    std::string castError;
    if (cast && !RECCastAdd(cast, TERMCastTime(n - options.from, options.fps),
                            demo.screen->cells, &castError)) {
      std::fprintf(stderr, "intro-capture: %s\n", castError.c_str());
      Fail();
      return;
    }
    char name[32];
    std::snprintf(name, sizeof name,
                  options.png ? "/frame-%06d.png" : "/frame-%06d.ppm", n);
    std::string path = options.out + name;
    if (FrameFiles()) {
      std::string error;
      errno = 0;
      if (!(options.png ? RECPngSave(frame, path.c_str(), &error)
                        : IMGSave(frame, path.c_str()))) {
        if (error.empty())
          ReportUnwritable(path);
        else
          std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
        Fail();
        return;
      }
    }
    if (options.cells) {
      std::snprintf(name, sizeof name, "/cells-%06d.txt", n);
      path = options.out + name;
      if (!WriteCells(path)) {
        Fail();
        return;
      }
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr,
                 "intro-capture: out of memory recording presentation %d\n", n);
    Fail();
    return;
  }
  ++written;
}

bool OpenGif() {
  if (options.gif.empty()) return true;
  std::string error;
  gif = RECGifOpen(options.gif.c_str(), options.width, options.height,
                   options.fps, options.every, &error);
  if (!gif) std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return gif != nullptr;
}

// The colour of the text: the first pixel of ink on the glyph sheet.
uint32_t TextColour() {
  const Image* sheet = demo.font ? demo.font->glyphs : nullptr;
  const size_t n =
      sheet && sheet->pixels ? static_cast<size_t>(sheet->width) * sheet->height
                             : 0;
  for (size_t i = 0; i < n; ++i)
    if (sheet->pixels[i] & 0xFFFFFFu) return sheet->pixels[i] & 0xFFFFFFu;
  return 0xAAAAAA;
}

bool OpenCast() {
  if (options.cast.empty()) return true;
  std::string error;
  cast = RECCastOpen(options.cast.c_str(), demo.screen->cols,
                     demo.screen->rows, TextColour(), 0, &error);
  if (!cast) std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return cast != nullptr;
}

// Finishes the cast; after a failure it is discarded.
bool CloseCast() {
  if (!cast) return true;
  if (failed) {
    RECCastDiscard(&cast);
    return false;
  }
  std::string error;
  if (RECCastClose(&cast, &error)) return true;
  std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return false;
}

// Finishes the GIF; after a failure it is discarded and the target left alone.
bool CloseGif() {
  if (!gif) return true;
  gifFrames = RECGifStoredFrames(gif);
  if (failed) {
    RECGifDiscard(&gif);
    return false;
  }
  std::string error;
  if (RECGifClose(&gif, &error)) return true;
  std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return false;
}

void PrintGif() {
  struct stat st;
  long long bytes = stat(options.gif.c_str(), &st) == 0 ? st.st_size : -1;
  std::printf("intro-capture: %s: %lld bytes, %d GIF frames at %d fps\n",
              options.gif.c_str(), bytes, gifFrames, options.fps);
}

// The soundtrack of the presentation just recorded (every one from --from on;
// --every thins only the frames).
void RecordWav() {
  if (!wav || failed) return;
  std::string error;
  if (!RECWavAdd(wav, demo.synth, &error)) {
    std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
    Fail();
  }
}

bool OpenWav() {
  if (options.wav.empty()) return true;
  std::string error;
  wav = RECWavOpen(options.wav.c_str(), options.fps, options.from, &error);
  if (!wav) std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return wav != nullptr;
}

// Finishes the WAV; after a failure it is discarded and the target left alone.
bool CloseWav() {
  if (!wav) return true;
  if (failed) {
    RECWavDiscard(&wav);
    return false;
  }
  std::string error;
  wavFrames = RECWavFrames(wav);
  if (RECWavClose(&wav, &error)) return true;
  std::fprintf(stderr, "intro-capture: %s\n", error.c_str());
  return false;
}

void PrintWav() {
  std::printf("intro-capture: %s: %.3f s of sound, %lld sample frames\n",
              options.wav.c_str(), double(wavFrames) / SYNTH_RATE,
              static_cast<long long>(wavFrames));
}

void Present(Display* display, const Image* frame) {
  if (stopping) return;
  SDLDPYShow(display, frame);
  const int32_t n = demo.presentations;  // counted by the driver afterwards
  Record(n, frame);
  RecordWav();
  if (!failed && (n + 1) % 100 == 0) {
    // On a terminal the progress line rewrites itself; elsewhere (a log) each
    // report is a line of its own.
    static const bool terminal = isatty(fileno(stderr));
    std::fprintf(stderr, "%sintro-capture: %d of %d presentations, %.0f fps%s",
                 terminal ? "\r" : "", n + 1, options.frames,
                 (n + 1) / Seconds(), terminal ? "" : "\n");
  }
  if (!failed && n + 1 >= options.frames) {
    // End the run: the scene returns after this frame and the driver's fade
    // is no longer recorded.
    stopping = true;
    DEMOStop();
  }
}

void Poll(Keyboard* keyboard) {
  if (stopping) return;  // a key read now could override the quit
  const int32_t n = demo.presentations - 1;  // the one just presented
  // The script was checked to fit the queue; a key it refuses all the same
  // ends the run rather than go missing.
  bool queued = true;
  for (const ScriptedKey& key : options.keys)
    if (key.presentation + 1 == n) queued &= SDLEventsPushKey(key.sym, false);
  for (const ScriptedKey& key : options.keys)
    if (key.presentation == n) queued &= SDLEventsPushKey(key.sym, true);
  if (!queued) {
    std::fprintf(stderr,
                 "intro-capture: SDL's event queue refused a scripted key at "
                 "presentation %d\n",
                 n);
    Fail();
    return;
  }
  SDLKBDGetKey(keyboard);
}

int Run(int argc, char** argv) {
  try {
    if (int status = ParseArguments(argc, argv)) return status < 0 ? 0 : status;
    // The files written are named from where the program was started, also
    // when the data files are read from elsewhere.
    if (options.data) {
      for (std::string* path : {&options.out, &options.gif, &options.cast, &options.wav}) {
        if (!intro::MakeAbsolute(path)) {
          std::fprintf(stderr,
                       "intro-capture: cannot name the working folder: %s\n",
                       std::strerror(errno));
          return 1;
        }
      }
    }
    if ((FrameFiles() || options.cells) && !MakeFolders(options.out)) {
      std::fprintf(stderr, "intro-capture: cannot create folder %s: %s\n",
                   options.out.c_str(), std::strerror(errno));
      return 1;
    }
  } catch (const std::bad_alloc&) {
    std::fputs("intro-capture: out of memory reading the command line\n",
               stderr);
    return 1;
  }
  if (setenv("SDL_VIDEODRIVER", "dummy", 1) != 0) {
    std::fputs("intro-capture: out of memory setting SDL_VIDEODRIVER\n",
               stderr);
    return 1;
  }
  if (!cli::EnterDataFolder(kProgram, options.data)) return 1;
  DemoConfig config;
  config.width = options.width;
  config.height = options.height;
  config.present = Present;
  config.poll = Poll;
  // The recorder renders the soundtrack itself; it never opens a device.
  config.sound = options.wav.empty() ? DemoSound::Off : DemoSound::Render;
  DEMOConfigure(config);
  if (!SDLPlatformInit()) return 1;
  started = std::chrono::steady_clock::now();
  if (!OpenGif() || !OpenWav()) return 1;
  if (!DEMOInit() || !OpenCast()) {
    DEMOFree();
    return 1;
  }
  if (options.frames > 0) DEMORun();
  const int32_t presented = demo.presentations;
  stopping = false;
  if (!failed && presented < options.frames) {
    DEMOFree();  // the intro quit by itself: its fade is recorded too
  } else {
    stopping = true;
    DEMOFree();
  }
  const int32_t total = std::max(presented, demo.presentations);
  if (!CloseGif()) failed = true;
  if (!CloseCast()) failed = true;
  if (!CloseWav()) failed = true;
  const double seconds = Seconds();
  if (isatty(fileno(stderr))) std::fprintf(stderr, "\n");
  std::printf(
      "intro-capture: %d presentations, %d written to %s in %.2f s"
      " (%.0f fps)\n",
      std::min(total, options.frames),
      FrameFiles() || !failed ? written : 0,  // a failed GIF is discarded
      FrameFiles()            ? (options.out + "/").c_str()
      : options.gif.empty() ? options.cast.c_str()
                            : options.gif.c_str(),
      seconds,
      seconds > 0 ? total / seconds : 0.0);
  if (!options.gif.empty() && !failed) PrintGif();
  if (!options.wav.empty() && !failed) PrintWav();
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every stage reports its own allocation failures; this catches what the
  // recording formats' writers let through, so that none ends in an abort.
  int status = 1;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("intro-capture: out of memory\n", stderr);
  }
  // The usage, the version and the summary are output too: a failed write of
  // them fails the run, as it would any file.
  if (status == 0 && !cli::FinishOutput(kProgram)) status = 1;
  return status;
}
