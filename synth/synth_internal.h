// The parsed song as the synthesizer reads it; shared by the parser and the
// voices, not part of the interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth/synth.h"

namespace synth {

enum class Wave : uint8_t { kPulse, kTriangle, kSaw, kNoise };

// Times are in sample frames, levels and gains in 1/256.
struct Instrument {
  std::string name;
  Wave wave = Wave::kPulse;
  uint32_t duty = 0x80000000u;  // pulse: high while the phase is below this
  int32_t attack = 0;
  int32_t decay = 0;
  int32_t sustain = 256;  // 0 .. 256 of the peak
  int32_t release = 0;
  int32_t volume = 256;  // 0 .. 256
  int32_t pan = 0;       // -256 (left) .. 256 (right)
  int32_t sweep = 0;     // pitch change a millisecond, 1/64 semitone
};

inline constexpr uint8_t kNoNote = 0;
inline constexpr uint8_t kNoteOff = 255;  // notes are 1 + (octave * 12 + step)
inline constexpr int32_t kNotes = 120;     // C-0 .. B-9
inline constexpr uint8_t kNoInstrument = 0;  // instruments are 1 + index

// One row of one channel. effect is the effect's letter or 0.
struct Cell {
  uint8_t note = kNoNote;
  uint8_t instrument = kNoInstrument;
  char effect = 0;
  uint8_t param = 0;
};

inline constexpr int32_t kRowsPerBeat = 4;
inline constexpr int16_t kNoPattern = -1;

struct SongData {
  int32_t tempo = 125;  // beats a minute
  int32_t speed = 6;    // ticks a row
  int32_t rows = 16;    // rows a pattern
  int32_t voices = 0;   // channels: the width of the order list
  std::vector<Instrument> instruments;
  std::vector<std::string> patternNames;
  std::vector<Cell> cells;       // pattern p's row r at p * rows + r
  std::vector<int16_t> order;    // position k's channel c at k * voices + c
};

// Sample frames of one tick at the song's tempo and speed.
inline int32_t FramesPerTick(const SongData& song) {
  return SYNTH_RATE * 60 / (song.tempo * kRowsPerBeat * song.speed);
}

}  // namespace synth

struct Song {
  synth::SongData data;
};
