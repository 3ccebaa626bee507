// SONG, SYNTH, WAV: the intro's soundtrack. A Song is a tracker-style score
// read from a text file (docs/song.md): a tempo, instruments, one-channel
// patterns of rows and an order list that says which pattern each channel
// plays. A Synth plays a Song: one voice per channel (pulse with a duty,
// triangle, saw or noise, an attack-decay-sustain-release envelope, volume
// and panning, and the effects arpeggio, vibrato, pitch slide, note cut and
// note volume), mixed to 48,000 stereo frames a second of signed 16-bit
// samples, interleaved left then right. At the end of the order list the song
// starts again from the top without a gap; it never ends.
//
// All synthesis is integer arithmetic (phase accumulators with 32-bit
// increments from a fixed table of note frequencies), so one song gives the
// same samples on every platform. The mix never clips: a limiter keeps every
// sample within +-SYNTH_PEAK_LIMIT.
//
// Failures are return values: constructors give none (and the parser and the
// loader one line of error text); nothing throws; every Free is null-safe.
// A Synth takes all its memory when it is made and copies what it needs of
// its Song, so rendering never allocates and the Song may be freed at once.
#pragma once

#include <cstddef>
#include <cstdint>

struct Song;
struct Synth;

inline constexpr int32_t SYNTH_RATE = 48000;     // sample frames a second
inline constexpr int32_t SYNTH_CHANNELS = 2;     // samples a frame: L, R
inline constexpr int32_t SYNTH_MAX_VOICES = 8;   // channels a song may have
inline constexpr int32_t SYNTH_GAIN_FULL = 256;  // master gain: 0 .. this
inline constexpr int32_t SYNTH_PEAK_LIMIT = 32000;
inline constexpr size_t SONG_MAX_BYTES = 1 << 20;  // largest song file

// Parses a song text (zero-terminated). fileName only names the text in the
// error line. On failure none, with one line "file:line:column: what is
// wrong" (no newline) in error, cut to errorSize bytes; error may be none.
[[nodiscard]] Song* SONGParse(const char* text, const char* fileName,
                              char* error, size_t errorSize);

// Reads and parses the song file at path. The file is opened without blocking
// and must be a regular file of at most SONG_MAX_BYTES. On failure none, with
// one line naming the file and the reason in error.
[[nodiscard]] Song* SONGLoad(const char* path, char* error, size_t errorSize);

// Releases the song and sets *song to none; a none address or handle does
// nothing.
void SONGFree(Song** song);

// Sample frames of one pass through the order list (the loop's length); 0 for
// none.
int64_t SONGLength(const Song* song);

// Channels (voices) the song plays; 0 for none.
int32_t SONGVoices(const Song* song);

// A synth at the start of song, at full master gain; none if memory ran out.
// A none song gives a synth that renders silence, so a program whose song
// could not be read runs as usual, mute.
[[nodiscard]] Synth* SYNTHNew(const Song* song);

// Releases the synth and sets *synth to none; a none address or handle does
// nothing.
void SYNTHFree(Synth** synth);

// Writes the next frames sample frames (2 x frames samples) to out and moves
// the song on. The master gain goes linearly from its current value to the
// last target set, across these frames, and ends on the target. Allocates
// nothing, takes no lock and never blocks: it may run in an audio callback.
// A none synth or out, or frames <= 0, does nothing.
void SYNTHRender(Synth* synth, int16_t* out, int32_t frames);

// Sets the master gain's target, 0 (silent) .. SYNTH_GAIN_FULL (clamped); the
// next render ramps to it. Safe from any thread while another renders.
void SYNTHSetGain(Synth* synth, int32_t gain);

// The master gain reached at the end of the last render (the starting value
// before any); 0 for none. Safe from any thread.
int32_t SYNTHGain(const Synth* synth);

// Sample frames rendered since the synth was made; 0 for none.
int64_t SYNTHPosition(const Synth* synth);

inline constexpr size_t WAV_HEADER_BYTES = 44;

// Writes the 44-byte RIFF/WAVE header of frames 16-bit stereo frames at
// SYNTH_RATE, little-endian on every host, so that header then the samples
// (little-endian) make a WAV file. Frames that would make the file larger
// than 4 GiB are cut to the most that fit.
void WAVHeader(uint8_t header[WAV_HEADER_BYTES], uint32_t frames);
