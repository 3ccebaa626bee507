#!/usr/bin/env bash
# End to end: every way out of the paced intro-window in a private X server.
# The window's close button, SIGINT and SIGTERM fade out and exit 0 like
# Escape; a second one during the fade ends the program at once; a bad
# option exits 2 with the usage. Usage: quit_test.sh BIN_DIR DATA_DIR
. "$(dirname "$0")/lib.sh"
BIN="$(cd "$1" && pwd)/intro-window"
DATA="$2"

(cd "$DATA" && "$BIN" --fps 61x) >"$WORK/bad.out" 2>"$WORK/bad.err"
status=$?
[ "$status" = 2 ] && grep -q '^usage: intro-window' "$WORK/bad.err" && [ ! -s "$WORK/bad.out" ] &&
  pass "a bad --fps value exits 2 with the usage on standard error" ||
  fail "bad --fps: status $status"
(cd "$DATA" && "$BIN" --help) >"$WORK/help.out" 2>&1
status=$?
[ "$status" = 0 ] && grep -q -- '--fps N' "$WORK/help.out" &&
  pass "--help lists --fps and exits 0" || fail "--help: status $status"

start_x 1024x768

# quit_by WHAT: starts the paced intro, lets it run, asks it to quit by
# WHAT (close, INT, TERM or INT,INT) and sets STATUS and ELAPSED (ms from the
# first request to the exit).
quit_by() {
  start_intro "$BIN" "$DATA" --fps 60
  sleep 1
  local t0
  t0=$(now_ms)
  case $1 in
    close) close_request ;;
    INT,INT) kill -INT "$INTRO_PID"; sleep 0.3; kill -INT "$INTRO_PID" ;;
    *) kill -"$1" "$INTRO_PID" ;;
  esac
  wait_exit 20
  ELAPSED=$(( $(now_ms) - t0 ))
}

# The fade's 256 presentations go at no fewer than 256 a second, so at 60 a
# second it takes about 1 s: a quit that fades ends between 0.8 and 2.5 s
# after the request.
for how in close INT TERM; do
  quit_by $how
  if [ "$STATUS" = 0 ] && [ "$ELAPSED" -ge 800 ] && [ "$ELAPSED" -le 2500 ]; then
    pass "$how: faded out and exited 0 after $ELAPSED ms"
  else
    fail "$how: status $STATUS after $ELAPSED ms"
  fi
done

quit_by INT,INT
if [ "$STATUS" = 0 ] && [ "$ELAPSED" -le 1300 ]; then
  pass "a second SIGINT during the fade exits 0 at once ($ELAPSED ms after the first)"
else
  fail "SIGINT twice: status $STATUS after $ELAPSED ms"
fi

[ -s "$WORK/intro.err" ] && { echo "standard error:"; cat "$WORK/intro.err"; }
exit $FAILED
