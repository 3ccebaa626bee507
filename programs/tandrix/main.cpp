// tandrix: the intro's command for people who watch it and for people who
// make their own.
//   tandrix [--fullscreen] [OPTION...]  plays intro-window (intro-fullscreen
//       with --fullscreen) from beside this program at 60 presentations a
//       second, from the installed data files; every other option goes to
//       the intro (a later --fps or --data overrides these);
//   tandrix new DIR    makes DIR a maker's folder: every data file, the
//       built-in message and logo written out, and a short guide; it never
//       overwrites anything;
//   tandrix check DIR  reads every file of DIR as the intro would and prints
//       each problem as file:line:column: error|warning: what.
// The data files are found relative to this program (bin/../share/tandrix
// installed; the source tree's data/ in the build tree), so that an installed
// tree can be moved.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/descriptor_internal.h"
#include "common/output_file.h"
#include "demo/data_check.h"
#include "demo/data_files.h"
#include "demo/demo.h"

namespace {

using intro::Descriptor;

constexpr char kProgram[] = "tandrix";

constexpr char kUsage[] =
    " [--fullscreen] [OPTION...]\n"
    "       tandrix new DIR\n"
    "       tandrix check DIR\n"
    "Plays the intro in a window at 60 presentations a second from the\n"
    "installed data files (--fullscreen: full screen); every other option\n"
    "goes to the intro (intro-window --help lists them, --watch among them).\n"
    "  new DIR    makes the folder DIR with every data file of the intro, its\n"
    "             built-in message and logo as message.txt and logo.txt, and\n"
    "             a README.txt for makers; DIR must not exist or be empty\n"
    "  check DIR  checks every data file of DIR as the intro reads it and\n"
    "             prints each problem as FILE:LINE:COLUMN: error: WHAT;\n"
    "             status 1 when there is an error\n"
    "Then: tandrix --data DIR --watch plays DIR and takes in every saved "
    "edit.\n";

constexpr char kNewUsage[] =
    " DIR\n"
    "Makes the folder DIR (which must not exist or be empty) with every data\n"
    "file of the intro, its built-in message and logo as message.txt and\n"
    "logo.txt, and a README.txt for makers. Nothing is ever overwritten.\n";

constexpr char kCheckUsage[] =
    " DIR\n"
    "Checks every data file of the folder DIR as the intro reads it, and\n"
    "prints each problem on a line of its own:\n"
    "  DIR/logo.txt:3:20: error: the row is 20 characters wide; ...\n"
    "Status 1 when there is an error, 0 otherwise (warnings included).\n";

constexpr char kGuide[] =
    "Your own intro\n"
    "==============\n"
    "\n"
    "This folder holds every file the intro shows. Change any of them, then\n"
    "play the folder:\n"
    "\n"
    "  tandrix --data . --watch     plays it; every file you save shows at "
    "once\n"
    "  tandrix check .              names each problem with its line and "
    "column\n"
    "  intro-capture --data . --gif ../intro.gif   records it as a GIF\n"
    "\n"
    "The files:\n"
    "\n"
    "  message.txt   the scroller's message: one line of printable characters\n"
    "                (blanks included; a run of blanks is a pause), at most\n"
    "                64 KiB. Without the file the built-in message runs.\n"
    "  logo.txt      the logo: five rows of at most 19 printable characters;\n"
    "                any character is drawn, the blank too, so the logo's box\n"
    "                hides the stars behind it. A narrower logo is centred.\n"
    "  font8x8.ppm   the glyph sheet: 8x8 glyphs in code order, 16 to a row\n"
    "                (a PNM image 128x64 pixels). Black is background.\n"
    "  WorldMap.txt  the map of the first scene: text art of any size.\n"
    "  manRun00.txt ... manRun0o.txt\n"
    "                the 25 frames of the running man, in the order they "
    "play.\n"
    "                Each covers the first frame's box (19 lines of 16 here);\n"
    "                only its first 615 bytes are shown.\n"
    "\n"
    "Keys: space switches scenes; Escape or q fades out and quits.\n";

// The folder of this program's executable, without the trailing '/'.
std::string ProgramFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string folder(path);
  const size_t slash = folder.rfind('/');
  return slash == std::string::npos ? "." : folder.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The installed data beside this program, or the source tree's in the build
// tree, where nothing is installed yet.
std::string DataFolder(const std::string& bin) {
  const std::string installed = bin + "/" TANDRIX_BIN_TO_DATA;
  if (IsFolder(installed) || !IsFolder(TANDRIX_BUILD_DATA)) return installed;
  return TANDRIX_BUILD_DATA;
}

int Play(int argc, char** argv) {
  const std::string bin = ProgramFolder();
  const char* intro = "intro-window";
  std::vector<char*> args;
  std::string program, data = DataFolder(bin);
  args.push_back(nullptr);  // the intro's path, below
  args.push_back(const_cast<char*>("--data"));
  args.push_back(data.data());
  args.push_back(const_cast<char*>("--fps"));
  args.push_back(const_cast<char*>("60"));
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0)
      intro = "intro-fullscreen";
    else
      args.push_back(argv[i]);
  }
  args.push_back(nullptr);
  program = bin + "/" + intro;
  args[0] = program.data();
  execv(program.c_str(), args.data());
  std::fprintf(stderr, "%s: cannot run %s: %s\n", kProgram, program.c_str(),
               std::strerror(errno));
  return 1;
}

// Reads the command line of a subcommand: its one folder and --help. False to
// end at once with *status.
bool ParseSubcommand(int argc, char** argv, const char* name, const char* usage,
                     const char** dir, int* status) {
  const std::string program = std::string(kProgram) + " " + name;
  cli::Parser parser(program.c_str(), usage);
  // The parser reads the options; the one word that is no option is DIR.
  std::vector<char*> options = {argv[0]};
  *dir = nullptr;
  bool stray = false;
  for (int i = 2; i < argc; ++i) {
    if (argv[i][0] == '-' && argv[i][1] == '-') {
      options.push_back(argv[i]);
    } else if (!*dir && argv[i][0]) {
      *dir = argv[i];
    } else {
      stray = true;
    }
  }
  if (!parser.Parse(static_cast<int>(options.size()), options.data(), status))
    return false;
  if (!*dir || stray) {
    *status = parser.Refuse(*dir ? "one folder, DIR, is all it takes"
                                 : "it takes a folder, DIR");
    return false;
  }
  return true;
}

// Writes size bytes as the new file name in the folder shown, through the
// one safe writer: complete or not at all under its name, and never over a
// file that appeared there meanwhile (the folder was found empty).
bool WriteNew(const std::string& shown, const char* name, const char* bytes,
              size_t size) {
  intro::OutputFile file;
  const std::string path = shown + "/" + name;
  if (file.Open(path.c_str()) && file.Write(bytes, size) && file.Commit(true))
    return true;
  std::fprintf(stderr, "%s: %s\n", kProgram, file.Reason().c_str());
  return false;
}

// The bytes of a regular file, or false after one line.
bool ReadWhole(const std::string& path, std::string* bytes) {
  struct stat st;
  const char* reason = nullptr;
  Descriptor fd(DEMOOpenDataFile(path.c_str(), &st, &reason));
  if (fd.get() < 0) {
    std::fprintf(stderr, "%s: cannot read %s: %s\n", kProgram, path.c_str(),
                 reason);
    return false;
  }
  bytes->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::fprintf(stderr, "%s: cannot read %s: %s\n", kProgram, path.c_str(),
                   std::strerror(errno));
      return false;
    }
    if (n == 0) return true;
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

// Opens dir, made when absent, as a folder that holds nothing; -1 after one
// line when it cannot, or holds something, or is a symbolic link.
int OpenEmptyFolder(const char* dir) {
  if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "%s: cannot make the folder %s: %s\n", kProgram, dir,
                 std::strerror(errno));
    return -1;
  }
  int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "%s: cannot use %s as the new folder: %s\n", kProgram,
                 dir,
                 errno == ELOOP     ? "it is a symbolic link"
                 : errno == ENOTDIR ? "it is no folder"
                                    : std::strerror(errno));
    return -1;
  }
  DIR* listing = fdopendir(dup(fd));
  bool empty = listing != nullptr;
  while (listing) {
    const dirent* entry = readdir(listing);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") != 0 &&
        std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  if (listing) closedir(listing);
  if (!empty) {
    std::fprintf(stderr,
                 "%s: %s is not empty; a new folder is made only where "
                 "nothing would be overwritten\n",
                 kProgram, dir);
    close(fd);
    return -1;
  }
  return fd;
}

int New(const char* dir) {
  const std::string data = DataFolder(ProgramFolder());
  Descriptor folder(OpenEmptyFolder(dir));
  if (folder.get() < 0) return 1;
  std::string shown(dir);
  while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  try {
    for (int32_t i = 0; i < DEMO_DATA_FILE_COUNT; ++i) {
      const DemoDataFile& file = DEMO_DATA_FILES[i];
      std::string bytes;
      if (file.kind == DemoDataKind::Message)
        bytes = std::string(DEMO_SCROLL_MESSAGE) + "\n";
      else if (file.kind == DemoDataKind::Logo)
        bytes = DEMO_LOGO;
      else if (!ReadWhole(data + "/" + file.name, &bytes))
        return 1;
      if (!WriteNew(shown, file.name, bytes.data(), bytes.size()))
        return 1;
    }
    if (!WriteNew(shown, "README.txt", kGuide, sizeof kGuide - 1))
      return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory making %s\n", kProgram, dir);
    return 1;
  }
  std::printf("%s: made %s with every data file and a README.txt\n", kProgram,
              shown.c_str());
  return cli::FinishOutput(kProgram) ? 0 : 1;
}

int Check(const char* dir) {
  if (!IsFolder(dir)) {
    struct stat st;
    std::fprintf(
        stderr, "%s: cannot check %s: %s\n", kProgram, dir,
        stat(dir, &st) == 0 ? "it is no folder" : std::strerror(errno));
    return 1;
  }
  DemoReport report;
  DEMOCheckFolder(dir, &report);
  try {
    for (const DemoProblem& problem : report.problems)
      std::printf("%s\n", DEMOProblemLine(problem).c_str());
  } catch (const std::bad_alloc&) {
    report.outOfMemory = true;
  }
  if (report.outOfMemory)
    std::printf("%s: error: out of memory; not every problem is shown\n", dir);
  if (!cli::FinishOutput(kProgram)) return 1;
  return report.errors > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "new") == 0) {
    const char* dir = nullptr;
    int status = 0;
    if (!ParseSubcommand(argc, argv, "new", kNewUsage, &dir, &status))
      return status;
    return New(dir);
  }
  if (argc >= 2 && std::strcmp(argv[1], "check") == 0) {
    const char* dir = nullptr;
    int status = 0;
    if (!ParseSubcommand(argc, argv, "check", kCheckUsage, &dir, &status))
      return status;
    return Check(dir);
  }
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0) {
      cli::Parser parser(kProgram, kUsage);
      int status = 0;
      char* help[] = {argv[0], argv[i]};
      parser.Parse(2, help, &status);
      return status;
    }
  return Play(argc, argv);
}
