#!/usr/bin/env bash
# End to end: intro-window --fps 60 in a private X server plays the song on
# SDL's file-writing audio driver, on the classic SDL 1.2 and (when given its
# folder) on sdl12-compat. What it plays is not silent and equals song-render's
# render of the song from its start; --mute opens no device; with no audio
# driver to be had it says so in one line and runs as usual.
# Usage: sound_test.sh BIN_DIR DATA_DIR SONG_RENDER [SDL12_COMPAT_DIR]
. "$(dirname "$0")/lib.sh"
BIN="$(cd "$1" && pwd)/intro-window"
DATA="$2"
SONG_RENDER="$3"
COMPAT_DIR="${4:-}"

"$SONG_RENDER" "$DATA/song.txt" 5 >"$WORK/reference.wav" ||
  { fail "song-render failed"; exit 1; }

# same_as_reference RAW: the played bytes, from the first sound on (a device
# may play silence until it is unpaused), are the reference's PCM from its
# start for at least a tenth of a second, and are not silent.
same_as_reference() {
  python3 - "$1" "$WORK/reference.wav" <<'PY'
import struct, sys
played = open(sys.argv[1], "rb").read()
reference = open(sys.argv[2], "rb").read()[44:]
start = 0
while start + 1 < len(played) and played[start:start + 2] == b"\0\0":
    start += 2
start -= start % 4  # a whole stereo frame
played = played[start:]
tenth = 48000 // 10 * 4
if len(played) < tenth:
    sys.exit("only %d bytes of sound were played" % len(played))
n = min(len(played), len(reference))
# The quit fade lowers the gain at the end: the part before it must match
# exactly; the first byte that differs must come after a tenth of a second.
same = next((i for i in range(n) if played[i] != reference[i]), n)
if same < tenth:
    sys.exit("the played sound differs from the render at byte %d" % same)
peak = max(abs(v) for v in struct.unpack("<%dh" % (same // 2), played[:same - same % 2]))
if peak < 1000:
    sys.exit("the played sound is nearly silent (peak %d)" % peak)
print("%d bytes as rendered, peak %d" % (same, peak))
PY
}

start_x 1024x768

# play LABEL [ENV...]: the paced intro on the disk driver for two seconds,
# then q; checks the exit and what was played.
play() {
  local label=$1
  shift
  rm -f "$WORK/played.raw"
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/played.raw"
  if [ $# -gt 0 ]; then export "$@"; fi
  start_intro "$BIN" "$DATA" --fps 60
  sleep 2
  press q
  wait_exit 60
  [ "$STATUS" = 0 ] && pass "$label: q exits with status 0" ||
    fail "$label: q: exit status $STATUS"
  if result=$(same_as_reference "$WORK/played.raw" 2>&1); then
    pass "$label: the device played the song as rendered ($result)"
  else
    fail "$label: $result"
  fi
  unset LD_LIBRARY_PATH
}

play "classic SDL 1.2"
if [ -n "$COMPAT_DIR" ]; then
  play "sdl12-compat" LD_LIBRARY_PATH="$COMPAT_DIR"
fi

# --mute: no device, so the disk driver never writes its file.
rm -f "$WORK/played.raw"
start_intro "$BIN" "$DATA" --fps 60 --mute
sleep 1
press q
wait_exit 60
[ "$STATUS" = 0 ] && [ ! -e "$WORK/played.raw" ] &&
  pass "--mute opens no audio device" ||
  fail "--mute: status $STATUS, played.raw $(ls "$WORK/played.raw" 2>&1)"

# No audio driver to be had: one line, then the intro runs and quits as usual.
export SDL_AUDIODRIVER=no-such-driver
start_intro "$BIN" "$DATA" --fps 60
sleep 1
running && pass "without an audio device the intro runs" ||
  fail "without an audio device the intro ended"
press q
wait_exit 60
[ "$STATUS" = 0 ] && [ "$(grep -c 'no sound: no audio device' "$WORK/intro.err")" = 1 ] &&
  pass "without an audio device: one line, status 0" ||
  { fail "without an audio device: status $STATUS"; cat "$WORK/intro.err"; }

exit $FAILED
