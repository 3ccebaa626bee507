// The soundtrack of a recording as one WAV file: each presentation's share of
// samples, rendered from the synth and appended; the header, which holds the
// length, written again once the length is known.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "recording/recording.h"
#include "recording/recording_internal.h"

namespace {

// The most sample frames a WAV file holds: its data chunk's length is 32 bits.
constexpr int64_t kMostFrames =
    (int64_t{UINT32_MAX} - WAV_HEADER_BYTES) / (SYNTH_CHANNELS * 2);

// The first sample frame of presentation k: round(SYNTH_RATE * k / fps).
int64_t FrameOf(int64_t k, int32_t fps) {
  return (2 * int64_t{SYNTH_RATE} * k + fps) / (2 * int64_t{fps});
}

}  // namespace

struct WavRecording {
  intro::OutputFile file;
  std::string target;
  int32_t fps = 0;
  int32_t first = 0;
  int64_t presentations = 0;  // rendered so far, those before first included
  int64_t frames = 0;         // written so far
  std::vector<int16_t> samples;
  std::vector<uint8_t> bytes;
};

namespace {

// All the file handling of a WAV recording: the samples appended
// little-endian, and the header written at the start.
bool Append(WavRecording* wav, size_t count, std::string* error) {
  for (size_t i = 0; i < count; ++i) {
    const auto v = static_cast<uint16_t>(wav->samples[i]);
    wav->bytes[2 * i] = static_cast<uint8_t>(v);
    wav->bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  if (wav->file.Write(wav->bytes.data(), 2 * count)) return true;
  if (error) *error = wav->file.Reason();
  return false;
}

// The header for the frames written so far: appended when the file is
// opened, written again over the first bytes when it is finished.
bool WriteHeader(WavRecording* wav, bool again, std::string* error) {
  uint8_t header[WAV_HEADER_BYTES];
  WAVHeader(header, static_cast<uint32_t>(wav->frames));
  if (again ? wav->file.WriteAt(0, header, sizeof header)
            : wav->file.Write(header, sizeof header))
    return true;
  if (error) *error = wav->file.Reason();
  return false;
}

}  // namespace

WavRecording* RECWavOpen(const char* filename, int32_t fps, int32_t first,
                         std::string* error) {
  if (!filename || fps < 1 || fps > 1000 || first < 0) {
    if (error) *error = "bad WAV recording arguments";
    return nullptr;
  }
  try {
    auto wav = std::make_unique<WavRecording>();
    wav->target = filename;
    wav->fps = fps;
    wav->first = first;
    // The longest presentation: one frame more than the exact share at most.
    const size_t most = static_cast<size_t>(SYNTH_RATE / fps + 1);
    wav->samples.resize(most * SYNTH_CHANNELS);
    wav->bytes.resize(most * SYNTH_CHANNELS * 2);
    if (!wav->file.Open(filename)) {
      if (error) *error = wav->file.Reason();
      return nullptr;
    }
    if (!WriteHeader(wav.get(), false, error)) return nullptr;
    return wav.release();
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory opening " + std::string(filename);
    return nullptr;
  }
}

bool RECWavAdd(WavRecording* wav, Synth* synth, std::string* error) {
  if (!wav) {
    if (error) *error = "no WAV recording";
    return false;
  }
  const int64_t k = wav->presentations;
  const auto count =
      static_cast<int32_t>(FrameOf(k + 1, wav->fps) - FrameOf(k, wav->fps));
  if (k >= wav->first && wav->frames + count > kMostFrames) {
    if (error) *error = "the soundtrack would pass the 4 GiB a WAV file holds";
    return false;
  }
  SYNTHRender(synth, wav->samples.data(), count);
  ++wav->presentations;
  if (k < wav->first) return true;
  if (!synth)  // a run without a synth is heard as silence
    std::fill(wav->samples.begin(), wav->samples.end(), int16_t{0});
  if (!Append(wav, static_cast<size_t>(count) * SYNTH_CHANNELS, error))
    return false;
  wav->frames += count;
  return true;
}

bool RECWavClose(WavRecording** wav, std::string* error) {
  if (!wav || !*wav) {
    if (error) *error = "no WAV recording";
    return false;
  }
  std::unique_ptr<WavRecording> owned(*wav);
  *wav = nullptr;
  if (!WriteHeader(owned.get(), true, error)) return false;
  if (owned->file.Commit(true)) return true;
  if (error) *error = owned->file.Reason();
  return false;
}

void RECWavDiscard(WavRecording** wav) {
  if (!wav) return;
  delete *wav;
  *wav = nullptr;
}

int64_t RECWavFrames(const WavRecording* wav) { return wav ? wav->frames : 0; }
