// Program entry of the intros: the command line read, SDL up, every object
// made, the scenes in turn until a quit key (or SDL's quit event), then the
// fade to black and the release of what was made. The native intros and the
// browser pages share this entry; each build's configuration unit
// (native.cpp, web/web_config.cpp) says what makes it differ.
#include "cli/cli.h"
#include "demo/demo.h"
#include "demo/watch.h"
#include "programs/intro/config.h"
#include "programs/intro/options.h"
#include "sdl/platform.h"

int main(int argc, char** argv) {
  IntroOptions options;
  int status = 0;
  if (!IntroParseOptions(argc, argv, &options, &status)) return status;
  const char* program = cli::ProgramName(argc, argv);
  if (!cli::EnterDataFolder(program, options.data)) return 1;
  DemoConfig config = IntroConfig();
  if (options.mute) config.sound = DemoSound::Off;
  DEMOConfigure(config);
  DEMOSetRate(options.fps);
  if (!SDLPlatformInit()) return 1;
  if (!DEMOInit()) {
    DEMOFree();
    return 1;
  }
  if (options.watch) DEMOWatchStart();
  DEMORun();
  DEMOFree();
  return cli::FinishOutput(program) ? 0 : 1;
}
