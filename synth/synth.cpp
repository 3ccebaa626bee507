// The synthesizer: the score's clock (ticks, rows, order positions), one voice
// per channel (oscillator, envelope, effects), the mix, its limiter and the
// master gain.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/sintab.h"
#include "synth/synth_internal.h"

namespace {

using synth::Instrument;
using synth::SongData;
using synth::Wave;

// Phase increments of the top octave's notes C-9 .. B-9 at SYNTH_RATE, with 8
// more fraction bits: round(f * 2^32 / 48000 * 2^8), f = 440 * 2^((n-57)/12)
// for note n = octave * 12 + step. Lower octaves halve them.
constexpr uint64_t kTopOctave[12] = {
    191773567448, 203177017184, 215258551329, 228058490878,
    241619554441, 255987000805, 271208779989, 287335693265,
    304421562706, 322523410814, 341701650825, 362020288330};

// 2^(k / 768) in 8.24 fixed point: the 64 steps between two semitones.
constexpr uint32_t kFine[64] = {
    16777216, 16792365, 16807527, 16822704, 16837894, 16853097, 16868315,
    16883546, 16898791, 16914049, 16929322, 16944608, 16959908, 16975222,
    16990549, 17005891, 17021246, 17036615, 17051999, 17067396, 17082806,
    17098231, 17113670, 17129123, 17144589, 17160070, 17175564, 17191073,
    17206595, 17222132, 17237683, 17253247, 17268826, 17284419, 17300026,
    17315646, 17331282, 17346931, 17362594, 17378271, 17393963, 17409669,
    17425389, 17441123, 17456871, 17472634, 17488410, 17504202, 17520007,
    17535826, 17551660, 17567508, 17583371, 17599248, 17615139, 17631044,
    17646964, 17662898, 17678847, 17694810, 17710787, 17726779, 17742785,
    17758806};

constexpr int32_t kFineSteps = 64;  // pitch unit: 1/64 semitone
constexpr int32_t kMaxPitch = synth::kNotes * kFineSteps - 1;
constexpr int32_t kMaxOffset = 8000;  // slides and sweeps stop here
constexpr int32_t kControlFrames = SYNTH_RATE / 1000;  // 1 ms
constexpr int32_t kCutFrames = SYNTH_RATE / 1000;      // a cut fades in 1 ms
constexpr int32_t kEnvelopeFull = 1 << 24;
constexpr int32_t kUnity = 1 << 16;  // the limiter's gain
// The limiter lets its gain back up to unity in about 50 ms.
constexpr int32_t kLimiterRecovery = kUnity / (50 * SYNTH_RATE / 1000) + 1;
// A vibrato's speed digit x is x / 2 Hz: its phase step a millisecond.
constexpr uint32_t kVibratoStep = 2147484;  // 2^32 / 2000
constexpr int32_t kVibratoDepth = 8;        // 1/64 semitones a depth digit
constexpr uint32_t kNoiseSeed = 0x7FFF;

enum class Stage : uint8_t { kOff, kAttack, kDecay, kSustain, kRelease };

struct Voice {
  // The score's state of the channel.
  int32_t nextInstrument = -1;  // for the next note
  int32_t instrument = -1;      // of the sounding note
  int32_t note = 0;             // 0 .. kNotes - 1
  char effect = 0;
  uint8_t param = 0;
  int32_t arpeggio = 0;  // semitones
  int32_t slide = 0;     // 1/64 semitones
  int32_t sweep = 0;
  uint32_t vibratoPhase = 0;
  int32_t vibratoSpeed = 0;
  int32_t vibratoDepth = 0;  // 1/64 semitones at the peak
  int32_t noteVolume = 255;
  // The oscillator.
  uint32_t phase = 0;
  uint32_t increment = 0;
  uint32_t noisePhase = 0;
  uint32_t lfsr = kNoiseSeed;
  // The envelope: level in 1/2^24 of the peak, moved by step each frame for
  // count more frames.
  Stage stage = Stage::kOff;
  int32_t level = 0;
  int32_t step = 0;
  int32_t count = 0;
  int32_t gainLeft = 0;  // volume and pan, 0 .. 256
  int32_t gainRight = 0;
};

// The phase increment of a pitch in 1/64 semitones above C-0.
uint32_t Increment(int32_t pitch) {
  pitch = std::clamp(pitch, 0, kMaxPitch);
  const int32_t note = pitch / kFineSteps;
  const int32_t shift = 32 + (9 - note / 12);
  const uint64_t v = kTopOctave[note % 12] * kFine[pitch % kFineSteps];
  return static_cast<uint32_t>((v + (uint64_t{1} << (shift - 1))) >> shift);
}

void Hold(Voice& v, Stage stage, int32_t level) {
  v.stage = stage;
  v.level = level;
  v.step = 0;
  v.count = INT32_MAX;
}

// Moves level to target in frames (> 0) steps; Advance then takes the
// envelope to the stage after this one.
void Ramp(Voice& v, Stage stage, int32_t target, int32_t frames) {
  v.stage = stage;
  v.step = (target - v.level) / frames;
  v.count = frames;
}

void EnterDecay(Voice& v, const Instrument& in) {
  v.level = kEnvelopeFull;
  const int32_t sustain = in.sustain << 16;
  if (in.decay > 0 && sustain < kEnvelopeFull) {
    Ramp(v, Stage::kDecay, sustain, in.decay);
  } else if (sustain > 0) {
    Hold(v, Stage::kSustain, sustain);
  } else {
    Hold(v, Stage::kOff, 0);
  }
}

void EnterRelease(Voice& v, int32_t frames) {
  if (v.stage == Stage::kOff) return;
  if (frames <= 0 || v.level <= 0) {
    Hold(v, Stage::kOff, 0);
    return;
  }
  Ramp(v, Stage::kRelease, 0, frames);
}

// The end of a ramp: the next stage of the envelope, its level exact.
void Advance(Voice& v, const Instrument& in) {
  switch (v.stage) {
    case Stage::kAttack:
      EnterDecay(v, in);
      break;
    case Stage::kDecay:
      if (in.sustain > 0) {
        Hold(v, Stage::kSustain, in.sustain << 16);
      } else {
        Hold(v, Stage::kOff, 0);
      }
      break;
    case Stage::kSustain:
      v.count = INT32_MAX;
      break;
    case Stage::kRelease:
    case Stage::kOff:
      Hold(v, Stage::kOff, 0);
      break;
  }
}

void Trigger(Voice& v, const Instrument& in, int32_t note) {
  v.note = note;
  v.slide = 0;
  v.sweep = 0;
  v.vibratoPhase = 0;
  v.noteVolume = 255;
  v.phase = 0;
  v.noisePhase = 0;
  v.lfsr = kNoiseSeed;
  v.level = 0;
  if (in.attack > 0) {
    Ramp(v, Stage::kAttack, kEnvelopeFull, in.attack);
  } else {
    EnterDecay(v, in);
  }
}

// One 16-bit sample of the oscillator; moves its phase on.
template <Wave W>
inline int32_t Oscillate(Voice& v, uint32_t duty) {
  const uint32_t phase = v.phase;
  v.phase += v.increment;
  if constexpr (W == Wave::kPulse) {
    return phase < duty ? 32767 : -32767;
  } else if constexpr (W == Wave::kTriangle) {
    const int32_t x = static_cast<int32_t>(phase >> 15);  // 0 .. 131071
    return (x < 65536 ? x : 131071 - x) - 32768;
  } else if constexpr (W == Wave::kSaw) {
    return static_cast<int32_t>(phase >> 16) - 32768;
  } else {
    // A 15-bit shift register clocked at 16 times the note's frequency.
    const uint64_t clock =
        uint64_t{v.noisePhase} + (uint64_t{v.increment} << 4);
    v.noisePhase = static_cast<uint32_t>(clock);
    for (uint32_t k = static_cast<uint32_t>(clock >> 32); k > 0; --k) {
      const uint32_t bit = (v.lfsr ^ (v.lfsr >> 1)) & 1u;
      v.lfsr = (v.lfsr >> 1) | (bit << 14);
    }
    return (v.lfsr & 1u) ? 24000 : -24000;
  }
}

// Adds frames of the voice to the mix (values 256 times the samples').
template <Wave W>
void Play(Voice& v, const Instrument& in, int32_t* __restrict left,
          int32_t* __restrict right, int32_t frames) {
  const uint32_t duty = in.duty;
  const int32_t gainLeft = v.gainLeft;
  const int32_t gainRight = v.gainRight;
  for (int32_t i = 0; i < frames; ++i) {
    const int32_t sample = (Oscillate<W>(v, duty) * (v.level >> 9)) >> 15;
    left[i] += sample * gainLeft;
    right[i] += sample * gainRight;
    v.level += v.step;
    if (--v.count == 0) Advance(v, in);
  }
}

}  // namespace

struct Synth {
  SongData song;
  bool silent = true;
  int32_t framesPerTick = 0;
  int32_t positions = 0;
  Voice voices[SYNTH_MAX_VOICES];
  int32_t position = 0;  // in the order list
  int32_t row = 0;
  int32_t tick = 0;
  int32_t untilTick = 0;  // frames until the next tick
  int32_t untilControl = 0;
  int32_t limiter = kUnity;
  int32_t gain = SYNTH_GAIN_FULL;  // touched by the render alone
  std::atomic<int32_t> target{SYNTH_GAIN_FULL};
  std::atomic<int32_t> reached{SYNTH_GAIN_FULL};
  std::atomic<int64_t> rendered{0};
  int32_t left[kControlFrames];
  int32_t right[kControlFrames];
};

namespace {

// Pitch and gains from the voice's state.
void Update(Synth& s, Voice& v) {
  if (v.instrument < 0) return;
  const Instrument& in = s.song.instruments[static_cast<size_t>(v.instrument)];
  int32_t pitch = (v.note + v.arpeggio) * kFineSteps + v.slide + v.sweep;
  if (v.vibratoDepth > 0) {
    const int32_t sine =
        intro::SINTAB[(v.vibratoPhase >> 22) % intro::SINTAB_SIZE];
    pitch += sine * v.vibratoDepth / 32767;
  }
  v.increment = Increment(pitch);
  const int32_t gain = in.volume * v.noteVolume / 255;
  v.gainLeft = gain * (in.pan > 0 ? 256 - in.pan : 256) >> 8;
  v.gainRight = gain * (in.pan < 0 ? 256 + in.pan : 256) >> 8;
}

// The cell of a new row: a note, a release, an instrument, an effect.
void StartRow(Synth& s, Voice& v, const synth::Cell& cell) {
  if (cell.instrument != synth::kNoInstrument)
    v.nextInstrument = cell.instrument - 1;
  if (cell.note == synth::kNoteOff) {
    if (v.instrument >= 0)
      EnterRelease(
          v, s.song.instruments[static_cast<size_t>(v.instrument)].release);
  } else if (cell.note != synth::kNoNote && v.nextInstrument >= 0) {
    v.instrument = v.nextInstrument;
    Trigger(v, s.song.instruments[static_cast<size_t>(v.instrument)],
            cell.note - 1);
  }
  v.effect = cell.effect;
  v.param = cell.param;
  if (v.effect == 'M') v.noteVolume = v.param;
}

// The row's effect at tick t of the row.
void ApplyEffect(Voice& v, int32_t t) {
  v.arpeggio = 0;
  v.vibratoDepth = 0;
  const int32_t x = v.param >> 4;
  const int32_t y = v.param & 15;
  switch (v.effect) {
    case 'A':
      v.arpeggio = t % 3 == 0 ? 0 : t % 3 == 1 ? x : y;
      break;
    case 'V':
      v.vibratoSpeed = x;
      v.vibratoDepth = y * kVibratoDepth;
      break;
    case 'U':
      if (t > 0) v.slide = std::min(v.slide + v.param, kMaxOffset);
      break;
    case 'D':
      if (t > 0) v.slide = std::max(v.slide - v.param, -kMaxOffset);
      break;
    case 'C':
      if (t == v.param) EnterRelease(v, kCutFrames);
      break;
    default:
      break;
  }
}

void Tick(Synth& s) {
  const SongData& song = s.song;
  for (int32_t c = 0; c < song.voices; ++c) {
    Voice& v = s.voices[c];
    if (s.tick == 0) {
      const int16_t pattern =
          song.order[static_cast<size_t>(s.position * song.voices + c)];
      if (pattern == synth::kNoPattern) {
        v.effect = 0;
      } else {
        StartRow(s, v,
                 song.cells[static_cast<size_t>(pattern * song.rows + s.row)]);
      }
    }
    ApplyEffect(v, s.tick);
    Update(s, v);
  }
  if (++s.tick < song.speed) return;
  s.tick = 0;
  if (++s.row < song.rows) return;
  s.row = 0;
  if (++s.position == s.positions) s.position = 0;  // the loop
}

// Once a millisecond: the instruments' sweeps and the vibratos move on.
void Control(Synth& s) {
  for (int32_t c = 0; c < s.song.voices; ++c) {
    Voice& v = s.voices[c];
    if (v.instrument < 0 || v.stage == Stage::kOff) continue;
    const Instrument& in =
        s.song.instruments[static_cast<size_t>(v.instrument)];
    if (in.sweep == 0 && v.vibratoDepth == 0) continue;
    v.sweep = std::clamp(v.sweep + in.sweep, -kMaxOffset, kMaxOffset);
    if (v.vibratoDepth > 0)
      v.vibratoPhase += static_cast<uint32_t>(v.vibratoSpeed) * kVibratoStep;
    Update(s, v);
  }
}

// Mixes the next frames (at most kControlFrames) of every voice.
void Mix(Synth& s, int32_t frames) {
  std::memset(s.left, 0, sizeof(int32_t) * static_cast<size_t>(frames));
  std::memset(s.right, 0, sizeof(int32_t) * static_cast<size_t>(frames));
  for (int32_t c = 0; c < s.song.voices; ++c) {
    Voice& v = s.voices[c];
    if (v.stage == Stage::kOff) continue;
    const Instrument& in =
        s.song.instruments[static_cast<size_t>(v.instrument)];
    switch (in.wave) {
      case Wave::kPulse:
        Play<Wave::kPulse>(v, in, s.left, s.right, frames);
        break;
      case Wave::kTriangle:
        Play<Wave::kTriangle>(v, in, s.left, s.right, frames);
        break;
      case Wave::kSaw:
        Play<Wave::kSaw>(v, in, s.left, s.right, frames);
        break;
      case Wave::kNoise:
        Play<Wave::kNoise>(v, in, s.left, s.right, frames);
        break;
    }
  }
}

}  // namespace

Synth* SYNTHNew(const Song* song) {
  try {
    auto synth = std::make_unique<Synth>();
    if (song && song->data.voices > 0 && !song->data.order.empty()) {
      synth->song = song->data;
      synth->silent = false;
      synth->framesPerTick = synth::FramesPerTick(synth->song);
      synth->positions = static_cast<int32_t>(synth->song.order.size()) /
                         synth->song.voices;
    }
    return synth.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void SYNTHFree(Synth** synth) {
  if (!synth) return;
  delete *synth;
  *synth = nullptr;
}

void SYNTHRender(Synth* synth, int16_t* out, int32_t frames) {
  if (!synth || !out || frames <= 0) return;
  Synth& s = *synth;
  const int32_t target = s.target.load(std::memory_order_relaxed);
  // The master gain in 1/2^32, a step a frame, landing on the target.
  int64_t gain = int64_t{s.gain} << 32;
  const int64_t gainStep = ((int64_t{target} << 32) - gain) / frames;
  for (int32_t done = 0; done < frames;) {
    int32_t n = std::min(frames - done, kControlFrames);
    if (s.silent) {
      std::memset(s.left, 0, sizeof(int32_t) * static_cast<size_t>(n));
      std::memset(s.right, 0, sizeof(int32_t) * static_cast<size_t>(n));
    } else {
      if (s.untilTick == 0) {
        Tick(s);
        s.untilTick = s.framesPerTick;
      }
      if (s.untilControl == 0) {
        Control(s);
        s.untilControl = kControlFrames;
      }
      n = std::min({n, s.untilTick, s.untilControl});
      Mix(s, n);
      s.untilTick -= n;
      s.untilControl -= n;
    }
    for (int32_t i = 0; i < n; ++i) {
      int32_t left = s.left[i] >> 8;
      int32_t right = s.right[i] >> 8;
      // The limiter: a sample over the limit lowers the gain at once to what
      // brings it to the limit; the gain then creeps back up to unity.
      const int32_t peak = std::max(std::abs(left), std::abs(right));
      if (int64_t{peak} * s.limiter > int64_t{SYNTH_PEAK_LIMIT} << 16)
        s.limiter =
            static_cast<int32_t>((int64_t{SYNTH_PEAK_LIMIT} << 16) / peak);
      left = static_cast<int32_t>((int64_t{left} * s.limiter) >> 16);
      right = static_cast<int32_t>((int64_t{right} * s.limiter) >> 16);
      if (s.limiter < kUnity)
        s.limiter = std::min(s.limiter + kLimiterRecovery, kUnity);
      gain += gainStep;
      const int64_t g =
          (done + i == frames - 1 ? int64_t{target} << 32 : gain) >> 16;
      out[2 * (done + i)] = static_cast<int16_t>((left * g) >> 24);
      out[2 * (done + i) + 1] = static_cast<int16_t>((right * g) >> 24);
    }
    done += n;
  }
  s.gain = target;
  s.reached.store(target, std::memory_order_relaxed);
  s.rendered.fetch_add(frames, std::memory_order_relaxed);
}

void SYNTHSetGain(Synth* synth, int32_t gain) {
  if (!synth) return;
  synth->target.store(std::clamp(gain, 0, SYNTH_GAIN_FULL),
                      std::memory_order_relaxed);
}

int32_t SYNTHGain(const Synth* synth) {
  return synth ? synth->reached.load(std::memory_order_relaxed) : 0;
}

int64_t SYNTHPosition(const Synth* synth) {
  return synth ? synth->rendered.load(std::memory_order_relaxed) : 0;
}
