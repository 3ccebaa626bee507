// The WAV file's header for the synth's PCM: 16-bit stereo at SYNTH_RATE.
#include <cstdint>

#include "synth/synth.h"

namespace {

constexpr uint32_t kBytesPerFrame = 2 * SYNTH_CHANNELS;
// The RIFF size field counts the file less its first 8 bytes.
constexpr uint32_t kMaxFrames =
    (UINT32_MAX - (WAV_HEADER_BYTES - 8)) / kBytesPerFrame;

uint8_t* Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
  return p + 4;
}

uint8_t* Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  return p + 2;
}

uint8_t* PutTag(uint8_t* p, const char tag[5]) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(tag[i]);
  return p + 4;
}

}  // namespace

void WAVHeader(uint8_t header[WAV_HEADER_BYTES], uint32_t frames) {
  if (frames > kMaxFrames) frames = kMaxFrames;
  const uint32_t dataBytes = frames * kBytesPerFrame;
  uint8_t* p = header;
  p = PutTag(p, "RIFF");
  p = Put32(p, dataBytes + WAV_HEADER_BYTES - 8);
  p = PutTag(p, "WAVE");
  p = PutTag(p, "fmt ");
  p = Put32(p, 16);  // the format chunk's size
  p = Put16(p, 1);   // integer PCM
  p = Put16(p, SYNTH_CHANNELS);
  p = Put32(p, SYNTH_RATE);
  p = Put32(p, SYNTH_RATE * kBytesPerFrame);  // bytes a second
  p = Put16(p, kBytesPerFrame);               // block alignment
  p = Put16(p, 16);                           // bits a sample
  p = PutTag(p, "data");
  Put32(p, dataBytes);
}
