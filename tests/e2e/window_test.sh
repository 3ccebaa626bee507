#!/usr/bin/env bash
# End to end: the real intro-window in a private X server, driven by real key
# presses. Usage: window_test.sh BIN_DIR DATA_DIR
. "$(dirname "$0")/lib.sh"
BIN="$(cd "$1" && pwd)/intro-window"
DATA="$2"

start_x 1024x768

# Run 1: it shows its window, draws, moves, ignores unrelated keys, switches
# scene on space and quits on q with status 0.
start_intro "$BIN" "$DATA"
pass "window TANDRIX appeared"
sleep 0.3
shot a; sleep 0.25; shot b
[ "$(brightest a)" -gt 0 ] && pass "the frame is not black" || fail "the frame is black"
[ "$(differ a b)" -gt 0 ] && pass "the picture moves" || fail "two screenshots are identical"

press a 1 F1 Return
sleep 0.5
running && pass "unrelated keys ignored" || fail "the intro ended without a quit key"

press space
sleep 0.3
running && pass "space keeps it running" || fail "space ended the intro"
shot c; sleep 0.25; shot d
[ "$(differ c d)" -gt 0 ] && pass "the picture moves after space" || fail "frozen after space"

press q
wait_exit 60
[ "$STATUS" = 0 ] && pass "q exits with status 0" || fail "q: exit status $STATUS"

# Run 2: Escape quits too.
start_intro "$BIN" "$DATA"
sleep 0.3
press Escape
wait_exit 60
[ "$STATUS" = 0 ] && pass "Escape exits with status 0" || fail "Escape: exit status $STATUS"

[ -s "$WORK/intro.err" ] && { echo "standard error:"; cat "$WORK/intro.err"; }
exit $FAILED
