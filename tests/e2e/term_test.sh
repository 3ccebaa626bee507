#!/usr/bin/env bash
# End to end: intro-term in detached tmux sessions. At stops of --stop-at the
# pane must show exactly the cells intro-capture records for the same
# presentation and key script; keys are typed with send-keys; every way out
# (q, Escape, Ctrl-C, SIGTERM, SIGHUP) must leave the terminal as it was:
# the same `stty -a`, the primary screen, the cursor shown.
# Usage: term_test.sh BIN_DIR DATA_DIR
set -u
BIN="$(cd "$1" && pwd)"
DATA="$(cd "$2" && pwd)"
WORK=$(mktemp -d /tmp/intro-term-e2e.XXXXXX)
FAILED=0
T() { tmux -S "$WORK/tmux" -f /dev/null "$@"; }
cleanup() { T kill-server 2>/dev/null; sleep 0.2; rm -rf "$WORK"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; FAILED=1; }
pass() { echo "ok: $*"; }

# Options first: no terminal needed.
"$BIN/intro-term" --size 100x100 >"$WORK/bad.out" 2>"$WORK/bad.err" </dev/null
status=$?
[ "$status" = 2 ] && grep -q '^usage: intro-term' "$WORK/bad.err" && [ ! -s "$WORK/bad.out" ] &&
  pass "a bad --size exits 2 with the usage on standard error" || fail "bad --size: status $status"
"$BIN/intro-term" --stop-at 3,x >/dev/null 2>"$WORK/bad.err" </dev/null
[ $? = 2 ] && grep -q '^usage: intro-term' "$WORK/bad.err" &&
  pass "a bad --stop-at exits 2" || fail "bad --stop-at"
"$BIN/intro-term" --help >"$WORK/help.out" 2>&1
[ $? = 0 ] && grep -q -- '--stop-at' "$WORK/help.out" && pass "--help exits 0" || fail "--help"

# session NAME COLS ROWS: a shell in the data folder of a detached session.
session() {
  T new-session -d -s "$1" -x "$2" -y "$3" -c "$DATA" \
    "env -i PATH=$PATH HOME=$WORK TERM=tmux-256color PS1='$ ' bash --norc --noprofile"
}

# start NAME ARGS...: runs intro-term in the session's shell through a
# script (a shell that is not interactive leaves the terminal's modes alone),
# which writes down the terminal's modes before and after, the pid and the
# exit status.
start() {
  local name=$1
  shift
  rm -f "$WORK/$name".*
  cat >"$WORK/$name.sh" <<EOF
stty -a >$WORK/$name.before
sh -c 'echo \$\$ >$WORK/$name.pid; exec $BIN/intro-term $*'
echo \$? >$WORK/$name.status
stty -a >$WORK/$name.after
EOF
  T send-keys -t "$name" "sh $WORK/$name.sh" Enter
  for _ in $(seq 100); do [ -s "$WORK/$name.pid" ] && return; sleep 0.1; done
  fail "$name: intro-term did not start"
}

# expected NAME SIZE N KEYS COLS ROWS: the cells intro-capture records for
# presentation N with the key script KEYS, cut to COLS x ROWS, trailing
# blanks dropped (as capture-pane drops them).
expected() {
  local out="$WORK/cap-$1-$3"
  (cd "$DATA" && "$BIN/intro-capture" --size "$2" --frames $(($3 + 1)) --from "$3" \
    --cells ${4:+--keys "$4"} --out "$out" >/dev/null 2>&1)
  cut -c1-"$5" "$(printf '%s/cells-%06d.txt' "$out" "$3")" | head -n "$6" | sed 's/ *$//'
}

shown() { T capture-pane -p -t "$1" | sed 's/ *$//'; }

# at_stop NAME SIZE N KEYS COLS ROWS: waits until the pane shows presentation
# N and stays so (the program waits there), and compares.
at_stop() {
  local want
  want=$(expected "$@")
  for _ in $(seq 150); do
    if [ "$(shown "$1")" = "$want" ]; then
      sleep 0.3
      if [ "$(shown "$1")" = "$want" ]; then
        if [ -z "$(printf '%s' "$want" | tr -d ' \n')" ]; then
          fail "$1: presentation $3 is blank, a weak check"
        else
          pass "$1: the pane shows presentation $3 (keys: ${4:-none}) as intro-capture records it"
        fi
        return
      fi
    fi
    sleep 0.1
  done
  fail "$1: presentation $3 (keys: ${4:-none}) never shown; pane and intro-capture differ:"
  diff <(shown "$1") <(printf '%s\n' "$want") | head -20
}

# finished NAME STATUS: waits for the exit and checks the status and the
# terminal left behind.
finished() {
  for _ in $(seq 200); do [ -s "$WORK/$1.after" ] && break; sleep 0.1; done
  local status
  status=$(cat "$WORK/$1.status" 2>/dev/null)
  [ "$status" = "$2" ] && pass "$1: exit status $status" || fail "$1: exit status '$status', not $2"
  # The size is the terminal's own (a resize changes it), the rest is ours.
  sed -i 's/rows [0-9]*; columns [0-9]*;//' "$WORK/$1.before" "$WORK/$1.after"
  cmp -s "$WORK/$1.before" "$WORK/$1.after" && pass "$1: stty -a is as before" ||
    { fail "$1: stty -a changed"; diff "$WORK/$1.before" "$WORK/$1.after"; }
  local modes
  modes=$(T display -p -t "$1" '#{alternate_on} #{cursor_flag}')
  [ "$modes" = "0 1" ] && pass "$1: primary screen, cursor shown" ||
    fail "$1: alternate screen and cursor flags are '$modes'"
}

# 80 x 60: the map pan, an arrow key (nothing), the running man, a space into
# scene 2, two presentations of it, then q.
session big 80 60
start big --fps 0 --stop-at 180,260,262,300,331
at_stop big 640x480 180 "" 80 60
T send-keys -t big Up
at_stop big 640x480 260 "" 80 60
T send-keys -t big x
at_stop big 640x480 262 "" 80 60
T send-keys -t big Space
at_stop big 640x480 300 262:space 80 60
T send-keys -t big x
at_stop big 640x480 331 262:space 80 60
T send-keys -t big q
finished big 0

# 40 x 25, chosen by the terminal's size: the running man, a space, scene 2,
# then a lone Escape.
session small 40 25
start small --fps 0 --stop-at 210,240,250,275
at_stop small 320x200 210 "" 40 25
T send-keys -t small x
at_stop small 320x200 240 "" 40 25
T send-keys -t small Space
at_stop small 320x200 250 240:space 40 25
T send-keys -t small x
at_stop small 320x200 275 240:space 40 25
T send-keys -t small Escape
finished small 0

# 30 x 10: the top-left part of the 40 x 25 cells, and the notice at exit.
session tiny 30 10
start tiny --fps 0 --stop-at 210
at_stop tiny 320x200 210 "" 30 10
# A resize redraws everything: made large enough, the same presentation
# shows whole.
T resize-window -t tiny -x 40 -y 25
at_stop tiny 320x200 210 "" 40 25
T send-keys -t tiny q
finished tiny 0
T capture-pane -p -J -t tiny | grep -q 'intro-term: the terminal (30x10) showed only the top-left part of the 40x25 cells; it needs at least 40 columns and 25 rows' &&
  pass "tiny: the notice says the view was cut and what it needs" ||
  { fail "tiny: no notice"; T capture-pane -p -J -t tiny; }

# Ctrl-C quits with the fade (8.5 s at 30 a second); a second one during the
# fade ends it at once.
session signals 80 60
start signals --fps 30
sleep 1
t0=$(date +%s%N)
T send-keys -t signals C-c
sleep 0.5
T send-keys -t signals C-c
finished signals 0
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
[ "$ms" -lt 3000 ] && pass "signals: a second Ctrl-C ended the fade at once ($ms ms)" ||
  fail "signals: Ctrl-C twice took $ms ms"

# SIGTERM quits like Ctrl-C; SIGHUP ends at once; both give the terminal back.
start signals --fps 0 --stop-at 5
sleep 0.5
kill -TERM "$(cat "$WORK/signals.pid")"
finished signals 0
start signals --fps 30
sleep 1
kill -HUP "$(cat "$WORK/signals.pid")"
finished signals 129

# A closed terminal, with hang-ups ignored (nohup), is a write error: the
# program ends with status 1 instead of playing on into nothing.
session closed 80 60
rm -f "$WORK/closed".*
cat >"$WORK/closed.sh" <<EOF
trap '' HUP
sh -c 'echo \$\$ >$WORK/closed.pid; exec $BIN/intro-term --fps 30'
echo \$? >$WORK/closed.status
EOF
T send-keys -t closed "sh $WORK/closed.sh" Enter
for _ in $(seq 100); do [ -s "$WORK/closed.pid" ] && break; sleep 0.1; done
sleep 1
T kill-pane -t closed
for _ in $(seq 100); do [ -s "$WORK/closed.status" ] && break; sleep 0.1; done
status=$(cat "$WORK/closed.status" 2>/dev/null)
[ "$status" = 1 ] && pass "closed: a write error on a closed terminal ends it with status 1" ||
  { fail "closed: status '$status'"; kill -9 "$(cat "$WORK/closed.pid")" 2>/dev/null; }

exit $FAILED
