// The audio device: SDL 1.2's callback rendering straight from the synth.
#include "sdl/audio.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr Uint16 kCallbackFrames = 1024;  // about 21 ms a callback

struct AudioState {
  bool open = false;
  bool startedSubsystem = false;
  char reason[256] = "";
};

AudioState audio;

// SDL's audio thread: len bytes of interleaved 16-bit stereo frames.
void Render(void* synth, Uint8* stream, int len) {
  SYNTHRender(static_cast<Synth*>(synth), reinterpret_cast<int16_t*>(stream),
              len / static_cast<int>(SYNTH_CHANNELS * sizeof(int16_t)));
}

bool Refuse(const char** reason, const char* what, const char* why) {
  std::snprintf(audio.reason, sizeof audio.reason, "%s%s", what, why);
  if (reason) *reason = audio.reason;
  return false;
}

}  // namespace

bool SDLAUDOpen(Synth* synth, const char** reason) {
  if (!synth) return Refuse(reason, "no synth to play", "");
  if (audio.open) return Refuse(reason, "the audio device is open already", "");
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0)
      return Refuse(reason, "no audio device: ", SDL_GetError());
    audio.startedSubsystem = true;
  }
  // Classic SDL starts the subsystem even when no driver could be had.
  char driver[32];
  if (!SDL_AudioDriverName(driver, sizeof driver)) {
    Refuse(reason, "no audio device: ", SDL_GetError());
    if (audio.startedSubsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio.startedSubsystem = false;
    return false;
  }
  SDL_AudioSpec want;
  std::memset(&want, 0, sizeof want);
  want.freq = SYNTH_RATE;
  want.format = AUDIO_S16SYS;
  want.channels = SYNTH_CHANNELS;
  want.samples = kCallbackFrames;
  want.callback = Render;
  want.userdata = synth;
  // No spec asked back: SDL converts to the device's format itself.
  if (SDL_OpenAudio(&want, nullptr) < 0) {
    Refuse(reason, "SDL refused 48 kHz 16-bit stereo audio: ", SDL_GetError());
    if (audio.startedSubsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio.startedSubsystem = false;
    return false;
  }
  audio.open = true;
  SDL_PauseAudio(0);
  return true;
}

void SDLAUDClose() {
  if (!audio.open) return;
  SDL_CloseAudio();  // waits for the callback to return
  audio.open = false;
  if (audio.startedSubsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  audio.startedSubsystem = false;
}

bool SDLAUDIsOpen() { return audio.open; }
