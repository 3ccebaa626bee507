// Program entry of the intros: the command line read, SDL up, every object
// made, the scenes in turn until a quit key (or SDL's quit event), then the
// fade to black and the release of what was made.
#include "demo/demo.h"
#include "demo/options.h"
#include "sdl/platform.h"

int main(int argc, char** argv) {
  IntroOptions options;
  int status = 0;
  if (!DEMOParseIntroOptions(argc, argv, &options, &status)) return status;
  DEMOSetRate(options.fps);
  if (!SDLPlatformInit()) return 1;
  if (!DEMOInit()) {
    DEMOFree();
    return 1;
  }
  DEMORun();
  DEMOFree();
  return 0;
}
