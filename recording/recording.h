// REC: recordings of presented frames in formats other programs open: one
// animated GIF for a stretch of presentations, or one PNG file per frame, and
// the soundtrack heard with them as one WAV file. Linked only into the
// recorder and its tests, so the intros themselves do not depend on giflib or
// libpng.
//
// Frames are Image objects (0x00RRGGBB, row-major); the top byte of a pixel is
// ignored, as the P6 writer drops it. Every file is written through
// intro::OutputFile (common/output_file.h): symlinks are written through, only
// a regular file is replaced (a device, FIFO, socket or folder under the name
// is refused), its mode is kept, and the complete file is synced and only then
// takes the target's name, so a failed write never leaves a partial file
// under the target's name. Failures return false or none with a one-line
// reason in *error (when error is not none); nothing throws, nothing aborts,
// nothing is printed.
#pragma once

#include <cstdint>
#include <string>

#include "img/img.h"
#include "synth/synth.h"

// ---- Animated GIF
// -------------------------------------------------------------
//
// The frames given are consecutive recorded presentations, each standing for
// `every` presentations of a program showing `fps` of them a second. GIF counts
// delays in hundredths of a second, so frame k (from 0) ends at
// round(100 * (k + 1) * every / fps) and its delay is the difference from the
// previous end: the rounding never accumulates (at 60 fps, 60 frames last
// exactly one second).
//
// Each stored frame holds only the rectangle in which it differs from what
// the viewer shows (drawn over it: disposal "leave in place"); a frame
// identical to the one before is merged into it, which lasts longer. A stored
// frame that lasts longer than the 16-bit delay field holds (655.35 s) is
// written as that frame and as few frames of one unchanged pixel after it as
// are needed, their delays as even as can be and adding up exactly. The
// animation loops forever. Each frame carries its own palette, sized to the
// colours of its rectangle: across a fade a recording holds far more than 256
// colours, but a single frame of the intro holds only a few. A frame with at
// most 256 colours is shown exactly; a rectangle with more is reduced to a
// fixed palette of 256 (3 bits of red, 3 of green, 2 of blue, each channel
// taken to the nearest of its levels, spread evenly over 0..255).

struct GifRecording;

// Creates the GIF of width x height (1 to 65535 each) at filename, frame rate
// fps (1 to 1000) and `every` (1 or more) presentations per frame. Memory for
// two frames is taken here, once; adding frames allocates nothing per pixel.
// None when the arguments are out of range or the file cannot be created.
[[nodiscard]] GifRecording* RECGifOpen(const char* filename, int32_t width,
                                       int32_t height, int32_t fps,
                                       int32_t every, std::string* error);

// Adds the next frame, which must have the recording's size. *reduced (when not
// none) tells whether its colours had to be reduced to 256. False on a size
// mismatch or a write error; the recording should then be discarded.
bool RECGifAdd(GifRecording* gif, const Image* frame, bool* reduced,
               std::string* error);

// Finishes the file and renames it over the target. False on any failure
// (no frame was added, or a write failed), in which case the target is
// untouched. Frees the recording and sets *gif to
// none either way; a none handle is a failure.
bool RECGifClose(GifRecording** gif, std::string* error);

// Frees the recording and removes its temporary file; the target is never
// touched. A none address or handle does nothing.
void RECGifDiscard(GifRecording** gif);

// Frames in the file so far, counting the one still waiting for its delay as
// the frames it will be written as so far: a run of identical frames counts
// once, or once for each 655.35 s it lasts. Zero for none.
int32_t RECGifStoredFrames(const GifRecording* gif);

// ---- PNG
// ----------------------------------------------------------------------

// Writes the image as an 8-bit RGB PNG at filename. False on any failure (the
// target untouched).
bool RECPngSave(const Image* image, const char* filename, std::string* error);

// ---- asciicast v2
// -------------------------------------------------------------
//
// What a terminal shows of the intro's cells, as a recording that terminal
// players replay: the header gives the size and the theme (text in fg on
// bg), and each added presentation that changes what the terminal shows is
// one output event, the bytes that bring it there (the cells that changed;
// no colour sequences, the theme carries the colour). Event times are
// microseconds from the start, given by the caller.

struct CastRecording;

// Creates the cast of a cols x rows grid (1 to 4096 each) at filename.
// Memory for the largest event is taken here, once. None when the arguments
// are out of range, memory runs out or the file cannot be created.
[[nodiscard]] CastRecording* RECCastOpen(const char* filename, int32_t cols,
                                         int32_t rows, uint32_t fg,
                                         uint32_t bg, std::string* error);

// Adds the cells (cols * rows codes) shown at microseconds (not before the
// last one added). False on a write error; the recording should then be
// discarded.
bool RECCastAdd(CastRecording* cast, int64_t microseconds,
                const int32_t* cells, std::string* error);

// Finishes the file and renames it over the target; false on any failure
// (the target untouched). Frees the recording and sets *cast to none.
bool RECCastClose(CastRecording** cast, std::string* error);

// Frees the recording and removes its temporary file. A none address or
// handle does nothing.
void RECCastDiscard(CastRecording** cast);

// Output events written so far. Zero for none.
int64_t RECCastEvents(const CastRecording* cast);

// ---- WAV soundtrack
// -----------------------------------------------------------
//
// The sound of consecutive presentations of a program showing fps of them a
// second, rendered from the program's synth as each is presented: 16-bit
// stereo PCM at SYNTH_RATE. Presentation k (from 0) covers the sample frames
// from round(SYNTH_RATE * k / fps) up to round(SYNTH_RATE * (k + 1) / fps),
// so n presentations last n / fps seconds to the sample and the rounding
// never accumulates. The gain the synth is set to before a presentation (the
// quit fade) is reached across that presentation's samples.

struct WavRecording;

// Creates the WAV at filename for presentations at fps (1 to 1000) a second;
// presentations before first (0 or more) are rendered but not written, so the
// file starts with presentation first. A buffer for one presentation is taken
// here, once. None when the arguments are out of range or the file cannot be
// created.
[[nodiscard]] WavRecording* RECWavOpen(const char* filename, int32_t fps,
                                       int32_t first, std::string* error);

// Renders the next presentation's samples from synth (moving it on) and
// writes them. False on a write error or when the file would pass the 4 GiB a
// WAV file can hold; the recording should then be discarded.
bool RECWavAdd(WavRecording* wav, Synth* synth, std::string* error);

// Finishes the header and renames the file over the target. False on any
// failure, the target then untouched. Frees the recording and sets *wav to
// none either way; a none handle is a failure.
bool RECWavClose(WavRecording** wav, std::string* error);

// Frees the recording and removes its temporary file; the target is never
// touched. A none address or handle does nothing.
void RECWavDiscard(WavRecording** wav);

// Sample frames written so far; zero for none.
int64_t RECWavFrames(const WavRecording* wav);
