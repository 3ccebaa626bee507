#!/usr/bin/env bash
# The GIF recording's cost: intro-capture plays the first 1,000 presentations
# at 640 x 480 and writes them as one animated GIF, five times. Reports the
# file's size and the median processor time (user + system, the whole
# program: playing the intro and encoding) against the limits of 6 MB and 4 s;
# exit status 1 when either is exceeded.
# Usage: gif_bench.sh INTRO_CAPTURE DATA_DIR
set -euo pipefail
CAPTURE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
DATA=$2
WORK=$(mktemp -d /tmp/intro-gif-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$DATA"
times=()
for run in 1 2 3 4 5; do
  /usr/bin/time -f '%U %S' -o "$WORK/time" "$CAPTURE" --size 640x480 \
    --frames 1000 --gif "$WORK/intro.gif" >/dev/null 2>&1
  times+=("$(awk '{ printf "%.2f", $1 + $2 }' "$WORK/time")")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
bytes=$(stat -c %s "$WORK/intro.gif")
frames=$(identify "$WORK/intro.gif" | wc -l)
echo "1000 presentations at 640x480 as GIF: $bytes bytes ($frames stored frames);" \
  "processor time median ${median} s of ${times[*]}"
awk -v b="$bytes" -v t="$median" 'BEGIN {
  ok = 1
  if (b > 6 * 1000 * 1000) { print "over the limit: more than 6 MB"; ok = 0 }
  if (t > 4) { print "over the limit: more than 4 s of processor time"; ok = 0 }
  if (ok) print "within the limits (6 MB, 4 s)"
  exit !ok }'
