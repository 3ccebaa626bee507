#!/usr/bin/env bash
# The intro's own code under valgrind's memory checker: intro-capture plays
# from the data folder on SDL's dummy driver through scene 1, a switch to
# scene 2 on space (450), back to scene 1 (700), a quit (740) and the 256
# presentations of the fade, about 1,000 presentations at 320 x 200, keeping
# every 1000th frame. Any invalid access, use of uninitialised memory, or
# definitely or indirectly lost block fails the test; no suppressions.
# Usage: valgrind_test.sh VALGRIND INTRO_CAPTURE DATA_DIR
set -euo pipefail
VALGRIND=$1
CAPTURE=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
DATA=$3
WORK=$(mktemp -d /tmp/intro-valgrind.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

cd "$DATA"
status=0
"$VALGRIND" --quiet --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --show-leak-kinds=definite,indirect --error-exitcode=9 \
  --log-file="$WORK/valgrind.log" \
  "$CAPTURE" --size 320x200 --frames 1100 --keys 450:space,700:space,740:q \
  --every 1000 --out "$WORK/frames" >"$WORK/capture.log" 2>&1 || status=$?

cat "$WORK/capture.log"
if [ "$status" -ne 0 ] || [ -s "$WORK/valgrind.log" ]; then
  cat "$WORK/valgrind.log"
  echo "FAIL: intro-capture under valgrind: exit status $status"
  exit 1
fi
# The run reached the fade: 741 presentations, then 256 of fading.
grep -q 'intro-capture: 997 presentations' "$WORK/capture.log" ||
  { echo "FAIL: the run did not end with the fade"; exit 1; }
echo "ok: about 1,000 presentations, no memory errors, nothing lost"
