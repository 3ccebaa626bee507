// SDLAUD: the soundtrack's way out through SDL 1.2's audio device. One device
// at a time (SDL 1.2 has one): it plays a Synth at SYNTH_RATE, signed 16-bit
// stereo in the host's byte order, rendering from SDL's audio thread. The
// callback only renders: it never blocks, takes no lock and allocates nothing.
// SDL converts to the device's own format where that differs. The driver is
// SDL's choice or SDL_AUDIODRIVER's ("disk" writes to SDL_DISKAUDIOFILE,
// "dummy" discards).
#pragma once

#include "synth/synth.h"

// Opens the audio device (starting SDL's audio subsystem if need be) and
// starts playing synth, which is not owned and must live until SDLAUDClose.
// False with *reason set when there is no synth, the device is open already,
// SDL has no audio device or refuses the format; the reason text stays valid
// until the next open. reason may be none.
bool SDLAUDOpen(Synth* synth, const char** reason);

// Stops the playing, closes the device and stops the audio subsystem if the
// open started it; once it returns the synth is no longer read. Does nothing
// when no device is open.
void SDLAUDClose();

// True while a device opened by SDLAUDOpen is open.
bool SDLAUDIsOpen();
