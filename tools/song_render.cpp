// song-render: renders the first seconds of a song file as a WAV file on
// standard output, for listening to the soundtrack without the intro.
//
//   song-render <song.txt> <seconds> > out.wav
//
// Exit status 0 once the file is written; 1 when the song cannot be read or
// is malformed (one line names the file, line and column) or writing fails;
// 2 on wrong usage (seconds is a whole number from 1 to 3600).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "synth/synth.h"

namespace {

constexpr int32_t kChunkFrames = 4800;
constexpr long kMaxSeconds = 3600;

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const long seconds = argc == 3 ? std::strtol(argv[2], &end, 10) : 0;
  if (argc != 3 || end == argv[2] || *end != '\0' || seconds < 1 ||
      seconds > kMaxSeconds) {
    std::fprintf(stderr,
                 "usage: song-render <song.txt> <seconds, 1 to %ld> > out.wav\n",
                 kMaxSeconds);
    return 2;
  }
  char error[256];
  Song* song = SONGLoad(argv[1], error, sizeof error);
  if (!song) {
    std::fprintf(stderr, "song-render: %s\n", error);
    return 1;
  }
  Synth* synth = SYNTHNew(song);
  SONGFree(&song);
  if (!synth) {
    std::fprintf(stderr, "song-render: out of memory\n");
    return 1;
  }
  const uint32_t frames = static_cast<uint32_t>(seconds) * SYNTH_RATE;
  uint8_t header[WAV_HEADER_BYTES];
  WAVHeader(header, frames);
  bool ok = std::fwrite(header, 1, sizeof header, stdout) == sizeof header;
  std::vector<int16_t> samples(kChunkFrames * SYNTH_CHANNELS);
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (uint32_t done = 0; ok && done < frames;) {
    const int32_t n = static_cast<int32_t>(
        std::min<uint32_t>(kChunkFrames, frames - done));
    SYNTHRender(synth, samples.data(), n);
    const size_t count = static_cast<size_t>(n) * SYNTH_CHANNELS;
    for (size_t i = 0; i < count; ++i) {  // little-endian on every host
      const auto v = static_cast<uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<uint8_t>(v);
      bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    ok = std::fwrite(bytes.data(), 1, 2 * count, stdout) == 2 * count;
    done += static_cast<uint32_t>(n);
  }
  SYNTHFree(&synth);
  if (!ok || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "song-render: cannot write the WAV file: %s\n",
                 std::strerror(errno));
    return 1;
  }
  return 0;
}
