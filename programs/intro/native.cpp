// The native intros' configuration: the size and flags of the build; frames
// are presented and keys polled as the driver does by default (paced by
// DEMOSetRate, then SDLDPYShow; SDLKBDGetKey).
#include "programs/intro/config.h"

DemoConfig IntroConfig() {
  DemoConfig config;
  config.width = INTRO_WIDTH;
  config.height = INTRO_HEIGHT;
  config.modeFlags =
      INTRO_FULLSCREEN ? SDLDPY_FULLSCREEN_FLAGS : SDLDPY_WINDOWED_FLAGS;
  return config;
}
