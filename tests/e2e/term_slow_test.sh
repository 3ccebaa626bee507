#!/usr/bin/env bash
# End to end: intro-term over a slow link. A pseudo-terminal whose reader
# passes at most RATE bytes a second on to a tmux pane (throttle.py) stands
# for a slow serial line or network. Checks, with loose bounds, that
# - the intro keeps its pace: scene 2 (which needs about 40 KB a second at
#   60 presentations a second) reaches presentation 500 on time, as its cast,
#   recorded in real time, tells;
# - once the link frees, the pane shows the newest frame (the stop's,
#   exactly as intro-capture records it) within a second;
# - q during scene 2 still fades and ends the program within the fade's time
#   plus a second.
# Prints the figures measured. Usage: term_slow_test.sh BIN_DIR DATA_DIR [RATE]
set -u
BIN="$(cd "$1" && pwd)"
DATA="$(cd "$2" && pwd)"
RATE=${3:-9600}
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK=$(mktemp -d /tmp/intro-term-slow.XXXXXX)
FAILED=0
T() { tmux -S "$WORK/tmux" -f /dev/null "$@"; }
cleanup() { T kill-server 2>/dev/null; sleep 0.2; rm -rf "$WORK"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; FAILED=1; }
pass() { echo "ok: $*"; }
now() { date +%s%N; }
ms_since() { echo $((($(now) - $1) / 1000000)); }

# run NAME ARGS...: intro-term behind the throttled link in a detached 80 x 60
# session; the relay's pid goes to NAME.relay, the exit status to NAME.status.
run() {
  local name=$1
  shift
  cat >"$WORK/$name.sh" <<EOF
echo \$\$ >$WORK/$name.relay
exec python3 $HERE/throttle.py $RATE sh -c '$BIN/intro-term $*; echo \$? >$WORK/$name.status'
EOF
  T new-session -d -s "$name" -x 80 -y 60 -c "$DATA" \
    "env -i PATH=$PATH HOME=$WORK TERM=tmux-256color sh $WORK/$name.sh; sleep 600"
}

shown() { T capture-pane -p -t "$1" | sed 's/ *$//'; }

# 1. The pace, and the newest frame once the link frees.
run pace --fps 60 --stop-at 500 --cast "$WORK/pace.cast"
(cd "$DATA" && "$BIN/intro-capture" --frames 501 --from 500 --cells --out "$WORK/cap" >/dev/null 2>&1)
want=$(sed 's/ *$//' "$WORK/cap/cells-000500.txt")
sleep "$(python3 -c 'print(500 / 60 + 1.5)')"
[ "$(shown pace)" = "$want" ] &&
  echo "note: the pane showed the stop's frame before the link freed (the link is not slow)"
t0=$(now)
kill -USR1 "$(cat "$WORK/pace.relay")"
seen=""
for _ in $(seq 100); do
  [ "$(shown pace)" = "$want" ] && { seen=$(ms_since "$t0"); break; }
  sleep 0.02
done
if [ -n "$seen" ] && [ "$seen" -le 1000 ]; then
  pass "pace: the newest frame shown $seen ms after the link freed"
else
  fail "pace: the newest frame not shown within a second of the link freeing (${seen:-never})"
  diff <(shown pace) <(printf '%s\n' "$want") | head -10
fi
T send-keys -t pace q
for _ in $(seq 100); do [ -s "$WORK/pace.status" ] && break; sleep 0.1; done
sleep 0.3
if [ -s "$WORK/pace.cast" ]; then
  # The last event is the stop's presentation (the fade changes no cell).
  python3 - "$WORK/pace.cast" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().splitlines()
events = [json.loads(l) for l in lines[1:]]
last = events[-1][0]
print(f"pace: presentation 500 at {last:.2f} s (due at {500 / 60:.2f} s), "
      f"{len(events)} events")
sys.exit(0 if last <= 500 / 60 + 2.0 else 1)
PY
  [ $? = 0 ] && pass "pace: the intro kept its pace over the slow link" ||
    fail "pace: the intro fell behind its pace"
else
  fail "pace: no cast"
fi

# 2. q during scene 2 over the slow link.
run quit --fps 60
sleep 9
t0=$(now)
T send-keys -t quit q
for _ in $(seq 200); do [ -s "$WORK/quit.status" ] && break; sleep 0.05; done
took=$(ms_since "$t0")
# The fade goes at no fewer than 256 presentations a second: one second.
fade=1000
status=$(cat "$WORK/quit.status" 2>/dev/null)
[ "$status" = 0 ] && [ "$took" -le $((fade + 1000)) ] &&
  pass "quit: q faded and ended in $took ms (the fade takes $fade ms)" ||
  fail "quit: status '$status' after $took ms (the fade takes $fade ms)"
echo "link: $RATE bytes a second"
exit $FAILED
