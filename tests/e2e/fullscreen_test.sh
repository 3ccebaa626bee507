#!/usr/bin/env bash
# End to end: the real intro-fullscreen on an X screen of exactly 320 x 200.
# Usage: fullscreen_test.sh BIN_DIR DATA_DIR
. "$(dirname "$0")/lib.sh"
BIN="$(cd "$1" && pwd)/intro-fullscreen"
DATA="$2"

start_x 320x200
start_intro "$BIN" "$DATA"
pass "window TANDRIX appeared"
sleep 0.3
shot a
[ "$(brightest a)" -gt 0 ] && pass "the screen is not black" || fail "the screen is black"
press Q
wait_exit 60
[ "$STATUS" = 0 ] && pass "Q exits with status 0" || fail "Q: exit status $STATUS"
exit $FAILED
