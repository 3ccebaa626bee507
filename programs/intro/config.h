// The build-time configuration of one intro, given by the build as
// INTRO_WIDTH, INTRO_HEIGHT and INTRO_FULLSCREEN: its screen size, its
// video-mode flags and, in the browser, its present. Each build links one
// configuration unit that defines IntroConfig.
#pragma once

#include "demo/demo.h"

DemoConfig IntroConfig();

// The part every build shares: the size and the flag set it was compiled
// with; the driver's own present and poll; the soundtrack on the audio device.
inline DemoConfig IntroBuildConfig() {
  DemoConfig config;
  config.width = INTRO_WIDTH;
  config.height = INTRO_HEIGHT;
  config.modeFlags =
      INTRO_FULLSCREEN ? SDLDPY_FULLSCREEN_FLAGS : SDLDPY_WINDOWED_FLAGS;
  config.sound = DemoSound::Device;
  return config;
}
