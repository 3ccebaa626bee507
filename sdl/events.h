// Synthetic input: queues key events on SDL's event queue exactly as a real
// key press would arrive, for recording and for scripted tests.
#pragma once

#include <cstdint>

// Queues a key-down (down) or key-up event for SDL key symbol sym. False if
// SDL's queue refused it.
bool SDLEventsPushKey(int32_t sym, bool down);

// How many events one drain of SDL's queue may be given: SDL 1.2's queue
// holds 127, and a few places are left for the events SDL queues itself.
inline constexpr int SDLEVENTS_QUEUE_ROOM = 100;

// True when sym is one of the key symbols SDL 1.2 defines (SDLK_UNKNOWN and
// the gaps between the defined symbols are not).
bool SDLEventsIsKey(int32_t sym);

// Queues SDL's quit event, as the window's close button or a signal does.
bool SDLEventsPushQuit();
