#include "demo/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The name the program was started by, without its folder.
const char* ProgramName(int argc, char** argv) {
  if (argc < 1 || !argv[0] || !*argv[0]) return "intro";
  const char* slash = std::strrchr(argv[0], '/');
  return slash ? slash + 1 : argv[0];
}

}  // namespace

bool DEMOParseInt(const char* text, int32_t min, int32_t max, int32_t* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno || *end || v < min || v > max) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

void DEMOIntroUsage(const char* program, FILE* out) {
  std::fprintf(
      out,
      "usage: %s [--fps N]\n"
      "Plays the intro from the data files in the working directory.\n"
      "  --fps N   at most N presentations a second (1 to 1000); 0, the\n"
      "            default, is unlimited: every animation moves one step per\n"
      "            presentation, as fast as the machine presents. --fps 60\n"
      "            is the pace to watch it at.\n"
      "  --help    this text\n"
      "Keys: Escape, q or Q fade to black and quit; space switches scenes.\n"
      "Closing the window, Ctrl-C and SIGTERM quit like Escape; a second one\n"
      "during the fade ends the program at once.\n",
      program);
}

bool DEMOParseIntroOptions(int argc, char** argv, IntroOptions* options,
                           int* status) {
  const char* program = ProgramName(argc, argv);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0) {
      DEMOIntroUsage(program, stdout);
      *status = 0;
      return false;
    }
    const char* value = nullptr;
    if (std::strcmp(arg, "--fps") == 0) {
      value = i + 1 < argc ? argv[++i] : nullptr;
    } else if (std::strncmp(arg, "--fps=", 6) == 0) {
      value = arg + 6;
    } else {
      std::fprintf(stderr, "%s: unknown option: %s\n", program, arg);
      DEMOIntroUsage(program, stderr);
      *status = 2;
      return false;
    }
    if (!DEMOParseInt(value, 0, 1000, &options->fps)) {
      std::fprintf(stderr, "%s: --fps takes a number from 0 to 1000%s%s\n",
                   program, value ? ", not " : "", value ? value : "");
      DEMOIntroUsage(program, stderr);
      *status = 2;
      return false;
    }
  }
  return true;
}
