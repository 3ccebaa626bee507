// The build-time configuration of one intro, given by the build as
// INTRO_WIDTH, INTRO_HEIGHT and INTRO_FULLSCREEN: its screen size, its
// video-mode flags and, in the browser, its present. Each build links one
// configuration unit that defines IntroConfig.
#pragma once

#include "demo/demo.h"

DemoConfig IntroConfig();
