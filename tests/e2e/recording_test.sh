#!/usr/bin/env bash
# The recordings opened by another program: ImageMagick reads the GIF and the
# PNG files intro-capture writes, and every frame must hold the bytes of the
# PPM file of the same presentation. The GIF's frames are composed to whole
# pictures (-coalesce) and expanded by their delays: at 60 fps presentation k
# of the stretch ends at round(100 * (k + 1) / 60) hundredths of a second.
# Usage: recording_test.sh INTRO_CAPTURE DATA_DIR
set -euo pipefail
CAPTURE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
DATA=$(cd "$2" && pwd)
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

# What may stand under an output's name. A device, a FIFO or a folder is
# refused with one line and status 1 and stays as it was; a symlink is written
# through; a replaced file keeps its mode. No run may hang.
run() { timeout -k 5 60 "$CAPTURE" --size 320x200 --frames 3 "$@"; }
mkdir "$WORK/nodes"
if mknod "$WORK/nodes/null" c 1 3 2>/dev/null; then
  if run --gif "$WORK/nodes/null" >/dev/null 2>"$WORK/err"; then
    fail "--gif on a device node exits 0"
  fi
  grep -q 'a character device, not a regular file' "$WORK/err" ||
    fail "--gif on a device node: $(cat "$WORK/err")"
  [ "$(stat -c '%F %t:%T' "$WORK/nodes/null")" = "character special file 1:3" ] ||
    fail "--gif replaced the device node"
else
  echo "skipped: mknod is not permitted here"
fi
mkdir "$WORK/nodes/cells"
mkfifo "$WORK/nodes/cells/cells-000000.txt"
status=0
run --cells --out "$WORK/nodes/cells" >/dev/null 2>"$WORK/err" || status=$?
[ "$status" -eq 1 ] || fail "--cells onto a FIFO: status $status, not 1"
[ -p "$WORK/nodes/cells/cells-000000.txt" ] || fail "--cells replaced the FIFO"
mkdir "$WORK/nodes/real"
printf old >"$WORK/nodes/real/a.gif"
chmod 0600 "$WORK/nodes/real/a.gif"
ln -s real/a.gif "$WORK/nodes/link.gif"
run --gif "$WORK/nodes/link.gif" >/dev/null 2>&1 || fail "--gif through a symlink"
[ -L "$WORK/nodes/link.gif" ] || fail "--gif replaced the symlink"
[ "$(head -c 6 "$WORK/nodes/real/a.gif")" = GIF89a ] || fail "no GIF behind the symlink"
[ "$(stat -c %a "$WORK/nodes/real/a.gif")" = 600 ] || fail "the GIF lost its mode 0600"
[ "$(ls -A "$WORK/nodes/real")" = a.gif ] || fail "files left beside the GIF: $(ls -A "$WORK/nodes/real")"

# Standard output is output too: a full one fails the run.
for args in --help --version "--frames 2 --out $WORK/nodes/out"; do
  # shellcheck disable=SC2086
  if "$CAPTURE" $args >/dev/full 2>/dev/null; then
    fail "intro-capture $args >/dev/full exits 0"
  fi
done

# A relative output is named from where the recorder started; when that
# folder has no name any more, the run is refused rather than write elsewhere.
mkdir "$WORK/gone"
status=0
(cd "$WORK/gone" && rmdir "$WORK/gone" &&
  "$CAPTURE" --frames 2 --gif lost.gif --data "$DATA" >/dev/null 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "--data from a removed folder: status $status, not 1"
[ ! -e "$DATA/lost.gif" ] || { rm -f "$DATA/lost.gif"; fail "the GIF landed in the data folder"; }

[ "$FAILED" -eq 0 ] || exit 1
echo "ok: $count PNG files and ${#delays[@]} GIF frames ($total hundredths) match the PPM files"
