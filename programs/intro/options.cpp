#include "programs/intro/options.h"

#include "cli/cli.h"

namespace {

constexpr char kUsage[] =
    " [--fps N] [--data DIR] [--watch] [--mute]\n"
    "Plays the intro from the data files in the working directory.\n"
    "  --fps N   at most N presentations a second (1 to 1000); 0, the\n"
    "            default, is unlimited: every animation moves one step per\n"
    "            presentation, as fast as the machine presents. --fps 60\n"
    "            is the pace to watch it at.\n"
    "  --data DIR\n"
    "            read the data files from the folder DIR instead\n"
    "  --watch   take in every data file saved while the intro plays: the\n"
    "            scene restarts with it; a file that fails its checks is\n"
    "            named on standard error and the last good one stays\n"
    "  --mute    no sound (the soundtrack, song.txt, is played otherwise)\n"
    "  --help    this text\n"
    "  --version the program's name and version\n"
    "Keys: Escape, q or Q fade to black and quit; space switches scenes.\n"
    "Closing the window, Ctrl-C and SIGTERM quit like Escape; a second one\n"
    "during the fade ends the program at once.\n";

}  // namespace

bool IntroParseOptions(int argc, char** argv, IntroOptions* options,
                       int* status) {
  cli::Parser parser(cli::ProgramName(argc, argv), kUsage);
  parser.Number("--fps", 0, 1000, &options->fps);
  parser.Text("--data", "a folder", &options->data);
  parser.Flag("--watch", &options->watch);
  parser.Flag("--mute", &options->mute);
  return parser.Parse(argc, argv, status);
}
