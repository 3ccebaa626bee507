// SDLKBD: the keyboard singleton. Each poll drains SDL's event queue and
// leaves in keys[0] the low byte of the SDL key symbol of the last key press
// in the drain, even when that press's release came in the same drain; a
// drain holding releases but no press leaves 0, and one holding no key event
// keeps the code. SDL's quit event (close button, SIGINT, SIGTERM) leaves the
// code of Escape, whatever else the drain held; other events are ignored. The
// caller reads and clears keys[0] directly. A keyboard exists only while the
// display does.
#pragma once

#include <cstdint>

// The code a quit event leaves: Escape's, so it quits the way Escape does.
inline constexpr uint8_t SDLKBD_QUIT_CODE = 27;

struct Keyboard {
  uint8_t* keys;  // 8 bytes; keys[0] is the current key code (0 = none)
};

// The keyboard, or none while there is no display. Later calls return the
// same keyboard.
[[nodiscard]] Keyboard* SDLKBDNew();

// Frees the keyboard and sets *keyboard to none; a later SDLKBDNew builds a
// fresh one.
void SDLKBDFree(Keyboard** keyboard);

// Drains SDL's event queue into keyboard->keys[0]. Without a display or a
// keyboard the queue is still drained and nothing is stored.
void SDLKBDGetKey(Keyboard* keyboard);

// Takes one pending quit event off SDL's queue, leaving every other event
// where it is; true if there was one. For loops that do not poll the
// keyboard, such as the fade, so that a second quit can end them.
bool SDLKBDQuitPending();

// The canonical operations every module carries, kept though the intro
// calls none of them. For a singleton: ToASCII gives a static empty text
// (none for none), FromASCII and Copy always none, Equal is 1 for a keyboard
// with itself.
const char* SDLKBDToASCII(const Keyboard* keyboard);
Keyboard* SDLKBDFromASCII(const char* text);
int SDLKBDEqual(const Keyboard* a, const Keyboard* b);
Keyboard* SDLKBDCopy(const Keyboard* keyboard);
