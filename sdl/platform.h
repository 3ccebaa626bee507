// Process-level SDL set-up. Linux has no SDL main shim, so the program's
// entry calls SDLPlatformInit itself: SDL's video subsystem without the
// parachute, with SDL's shutdown registered to run at process exit.
#pragma once

#include <cstdint>

// False (after printing SDL's reason on standard error) if SDL cannot start.
bool SDLPlatformInit();

// Milliseconds since SDL started.
uint32_t SDLPlatformTicks();
