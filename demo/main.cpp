// Program entry of the intros: SDL up, every object made, the scenes in turn
// until a quit key, then the fade to black and the release of what was made.
#include "demo/demo.h"
#include "sdl/platform.h"

int main(int, char**) {
  if (!SDLPlatformInit()) return 1;
  if (!DEMOInit()) {
    DEMOFree();
    return 1;
  }
  DEMORun();
  DEMOFree();
  return 0;
}
