#!/usr/bin/env bash
# The recordings opened by another program: ImageMagick reads the GIF and the
# PNG files intro-capture writes, and every frame must hold the bytes of the
# PPM file of the same presentation. The GIF's frames are composed to whole
# pictures (-coalesce) and expanded by their delays: at 60 fps presentation k
# of the stretch ends at round(100 * (k + 1) / 60) hundredths of a second.
# Usage: recording_test.sh INTRO_CAPTURE DATA_DIR
set -euo pipefail
CAPTURE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
DATA=$2
WORK=$(mktemp -d /tmp/intro-recording.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }

FPS=60
FROM=150
FRAMES=330
ARGS=(--size 320x200 --frames $FRAMES --from $FROM --keys 220:space,300:space)
cd "$DATA"
"$CAPTURE" "${ARGS[@]}" --out "$WORK/ppm" >/dev/null 2>&1
"$CAPTURE" "${ARGS[@]}" --out "$WORK/png" --png --gif "$WORK/a.gif" \
  --fps $FPS >"$WORK/log" 2>&1 || { cat "$WORK/log"; fail "intro-capture --png --gif"; }

# Every PNG against its PPM, as raw RGB bytes.
count=0
for ppm in "$WORK"/ppm/frame-*.ppm; do
  name=$(basename "$ppm" .ppm)
  convert "$ppm" rgb:"$WORK/want.rgb"
  convert "$WORK/png/$name.png" rgb:"$WORK/got.rgb" &&
    cmp -s "$WORK/want.rgb" "$WORK/got.rgb" || fail "$name.png differs from $name.ppm"
  count=$((count + 1))
done
[ "$count" -eq $((FRAMES - FROM)) ] || fail "$count PPM files, not $((FRAMES - FROM))"

# The GIF: one composed picture and one delay per stored frame.
mapfile -t delays < <(identify -format '%T\n' "$WORK/a.gif")
convert "$WORK/a.gif" -coalesce +adjoin rgb:"$WORK/gif-%d.rgb"
identify -verbose "$WORK/a.gif[0]" | grep -q 'Iterations: 0$' ||
  fail "the GIF does not loop forever"
frame=0
total=${delays[0]}
for ((k = 0; k < FRAMES - FROM; k++)); do
  end=$(( (200 * (k + 1) + FPS) / (2 * FPS) ))
  while [ "$total" -lt "$end" ] && [ $((frame + 1)) -lt ${#delays[@]} ]; do
    frame=$((frame + 1))
    total=$((total + delays[frame]))
  done
  name=$(printf 'frame-%06d' $((FROM + k)))
  convert "$WORK/ppm/$name.ppm" rgb:"$WORK/want.rgb"
  cmp -s "$WORK/want.rgb" "$WORK/gif-$frame.rgb" ||
    fail "GIF frame $frame differs from $name.ppm"
done
[ $((frame + 1)) -eq ${#delays[@]} ] || fail "GIF frames left over: ${#delays[@]} stored"
want_total=$(( (200 * (FRAMES - FROM) + FPS) / (2 * FPS) ))
[ "$total" -eq "$want_total" ] || fail "delays add up to $total, not $want_total"

[ "$FAILED" -eq 0 ] || exit 1
echo "ok: $count PNG files and ${#delays[@]} GIF frames ($total hundredths) match the PPM files"
