// The build-time configuration of one intro in a browser: its screen size and
// video-mode flags (INTRO_WIDTH, INTRO_HEIGHT and INTRO_FULLSCREEN, as for the
// native intros), and a present that hands the browser its turn.
//
// The scenes and the fade are plain loops, so after every presentation the
// program waits (through Asyncify) for the page's pacing, web/intro.js: one
// animation frame, or the next deadline of ?fps=N, or, with the test hook, a
// stop. The page paces the intro, so the present never calls DEMOPace (the
// native --fps pacer). The page delivers keys as SDL 1.2 key symbols through
// WebKey.
//
// The soundtrack: the driver reads the song into demo.synth and opens no audio
// device; the page's Web Audio node pulls it through WebAudioRender, which
// runs between two presentations while main is suspended (it never suspends
// itself). The quit fade lowers the synth's gain as the picture fades.
#include <emscripten.h>

#include <cstdint>
#include <cstring>

#include "programs/intro/config.h"
#include "sdl/display.h"
#include "sdl/events.h"

// Resolves when the page lets presentation n + 1 follow presentation n;
// fading is non-zero during the quit fade, which the page paces faster.
EM_ASYNC_JS(void, WebAfterPresent, (int n, int fading), {
  await Module.afterPresent(n, fading !== 0);
});

namespace {

// The most sample frames one WebAudioRender hands over.
constexpr int32_t kAudioMaxFrames = 16384;
int16_t audioBuffer[kAudioMaxFrames * SYNTH_CHANNELS];

// FNV-1a 64 over the little-endian bytes of every sample rendered from the
// synth, and their count in frames: what the page's test hook reports.
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;
uint64_t audioHash = kFnvOffset;
int64_t audioFrames = 0;

void HashSamples(const int16_t* samples, int32_t count) {
  uint64_t h = audioHash;
  for (int32_t i = 0; i < count; ++i) {
    const auto v = static_cast<uint16_t>(samples[i]);
    h = (h ^ (v & 0xFFu)) * kFnvPrime;
    h = (h ^ (v >> 8)) * kFnvPrime;
  }
  audioHash = h;
}

void Present(Display* display, const Image* frame) {
  DEMOShowFrame(display, frame);
  // The presentation is counted by the driver afterwards.
  WebAfterPresent(demo.presentations, (demo.runState & DEMO_QUIT) != 0);
}

}  // namespace

DemoConfig IntroConfig() {
  DemoConfig config = IntroBuildConfig();
  config.present = Present;
  // The page renders the song itself (WebAudioRender): SDL's audio device is
  // not opened in the browser, where the main loop yields through Asyncify.
  config.sound = DemoSound::Render;
  return config;
}

// Queues a key press (down != 0) or release of SDL 1.2 key symbol sym; the
// next poll reads it as it reads a native key event.
extern "C" EMSCRIPTEN_KEEPALIVE void WebKey(int sym, int down) {
  SDLEventsPushKey(sym, down != 0);
}

// Renders the next frames sample frames of the soundtrack (at most 16384; more
// are cut to that), interleaved left then right, into a buffer in the
// module's memory and returns its address; silence before the driver has made
// its synth and after it has released it. Frames taken from the synth are
// added to what WebAudioFrames and WebAudioHash report.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* WebAudioRender(int32_t frames) {
  if (frames < 0) frames = 0;
  if (frames > kAudioMaxFrames) frames = kAudioMaxFrames;
  const int32_t count = frames * SYNTH_CHANNELS;
  if (!demo.synth) {
    std::memset(audioBuffer, 0,
                sizeof audioBuffer[0] * static_cast<size_t>(count));
    return audioBuffer;
  }
  SYNTHRender(demo.synth, audioBuffer, frames);
  HashSamples(audioBuffer, count);
  audioFrames += frames;
  return audioBuffer;
}

// The sample frames WebAudioRender has taken from the synth so far (exact up
// to 2^53, as the page reads it as a number).
extern "C" EMSCRIPTEN_KEEPALIVE double WebAudioFrames() {
  return static_cast<double>(audioFrames);
}

// The high (part 1) or low (part 0) 32 bits of the hash of those samples.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t WebAudioHash(int32_t part) {
  return static_cast<uint32_t>(part ? audioHash >> 32 : audioHash);
}
