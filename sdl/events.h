// Synthetic input: queues key events on SDL's event queue exactly as a real
// key press would arrive, for recording and for scripted tests.
#pragma once

#include <cstdint>

// Queues a key-down (down) or key-up event for SDL key symbol sym. False if
// SDL's queue refused it.
bool SDLEventsPushKey(int32_t sym, bool down);

// Queues SDL's quit event, as the window's close button or a signal does.
bool SDLEventsPushQuit();
