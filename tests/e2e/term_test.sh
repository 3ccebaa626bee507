#!/usr/bin/env bash
# End to end: intro-term in detached tmux sessions. At stops of --stop-at the
# pane must show exactly the cells intro-capture records for the same
# presentation and key script; keys are typed with send-keys; every way out
# (q, Escape, Ctrl-C, SIGTERM, SIGHUP, every signal that ends a process, a
# stop and a continue) must leave the terminal as it was: the same `stty -a`,
# the primary screen, the cursor shown. Keys pasted by the thousand lose no
# quit key; an over-long escape sequence leaks no key; every frame is one
# write in synchronized-output brackets (under strace, when installed); the
# casts of intro-term and intro-capture are read by asciinema (when
# installed).
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
ulimit -c 0
stty -a >$WORK/$name.before
${PRE:-}
sh -c 'echo \$\$ >$WORK/$name.pid; exec ${WRAP:-} $BIN/intro-term $*'
echo \$? >$WORK/$name.status
${POST:-}
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

# Every signal that ends a process by default gives the terminal back first,
# and the process ends as that signal ends it.
session fatal 80 60
n=0
for sig in SEGV BUS FPE ILL ABRT TRAP SYS USR1 USR2 ALRM VTALRM PROF XCPU XFSZ PIPE QUIT; do
  start fatal --fps 30
  sleep 0.6
  kill -"$sig" "$(cat "$WORK/fatal.pid")"
  finished fatal $((128 + $(kill -l "$sig")))
  n=$((n + 1))
done
pass "fatal: $n signals checked"

# A stop gives the terminal back (cooked, primary screen, cursor shown); a
# continue takes it again and redraws the whole picture.
session stop 40 25
start stop --fps 0 --stop-at 210
at_stop stop 320x200 210 "" 40 25
pty=$(T display -p -t stop '#{pane_tty}')
kill -TSTP "$(cat "$WORK/stop.pid")"
sleep 0.5
modes=$(stty -a -F "$pty" | tr ' ' '\n' | grep -E '^-?(icanon|echo|isig)$' | tr '\n' ' ')
[ "$modes" = "isig icanon echo " ] && pass "stop: the terminal is cooked while stopped" ||
  fail "stop: modes while stopped: $modes"
[ "$(T display -p -t stop '#{alternate_on} #{cursor_flag}')" = "0 1" ] &&
  pass "stop: primary screen, cursor shown while stopped" || fail "stop: still on the alternate screen"
T send-keys -t stop "clear" Enter  # what a shell user does meanwhile
sleep 0.3
kill -CONT "$(cat "$WORK/stop.pid")"
sleep 0.3
modes=$(stty -a -F "$pty" | tr ' ' '\n' | grep -E '^-?(icanon|echo|isig)$' | tr '\n' ' ')
[ "$modes" = "-isig -icanon -echo " ] && pass "stop: raw again after a continue" ||
  fail "stop: modes after the continue: $modes"
at_stop stop 320x200 210 "" 40 25
T send-keys -t stop q
finished stop 0

# Keys by the thousand in one write: Ctrl-C after 70 keys still quits, a q
# after a 100 KB paste still quits, an escape sequence of 517 bytes gives no
# key (its tail ' q' would quit).
session paste 80 60
{ head -c 70 /dev/zero | tr '\0' x; printf '\003'; } >"$WORK/ctrlc.keys"
head -c 100000 /dev/zero | tr '\0' x >"$WORK/big.keys"
{ printf '\033['; head -c 515 /dev/zero | tr '\0' 1; printf ' q'; } >"$WORK/long.keys"
start paste --fps 0 --stop-at 5
sleep 0.5
T load-buffer -b k "$WORK/ctrlc.keys" && T paste-buffer -d -b k -t paste
finished paste 0
start paste --fps 30 --stop-at 5
sleep 0.5
T load-buffer -b k "$WORK/big.keys" && T paste-buffer -d -b k -t paste
sleep 0.3
T send-keys -t paste q
finished paste 0
start paste --fps 0 --stop-at 5,6
sleep 0.5
T load-buffer -b k "$WORK/long.keys" && T paste-buffer -d -b k -t paste
sleep 1
if kill -0 "$(cat "$WORK/paste.pid")" 2>/dev/null; then
  pass "paste: an over-long escape sequence gave no key"
else
  fail "paste: the tail of an over-long escape sequence was read as keys"
fi
T send-keys -t paste q
finished paste 0

# A terminal that reports no size (0 x 0) is played as 80 x 25: the 40 x 25
# cells, and a notice at the end.
session nosize 40 25
PRE="stty rows 0 cols 0" POST="stty rows 25 cols 40" start nosize --fps 0 --stop-at 210
at_stop nosize 320x200 210 "" 40 25
T send-keys -t nosize q
finished nosize 0
T capture-pane -p -J -t nosize | grep -q 'intro-term: the terminal reported no size (0x0); it was taken to be 80x25' &&
  pass "nosize: the notice says what size was taken" || fail "nosize: no notice"

# Every frame is one write, bracketed by synchronized output; only a write
# the terminal took in part is followed by the rest of the same frame.
if command -v strace >/dev/null; then
  session sync 80 60
  WRAP="strace -f -qq -e trace=write -e signal=none -xx -s 1000000 -o $WORK/sync.trace" \
    start sync --fps 60 --stop-at 450
  at_stop sync 640x480 450 "" 80 60
  T send-keys -t sync q
  finished sync 0
  if python3 - "$WORK/sync.trace" <<'PY'; then
import re, sys
frames = bad = 0
partial = False
fds = {}
for line in open(sys.argv[1]):
    m = re.search(r'write\((\d+), "((?:\\x[0-9a-f]{2})*)"(\.\.\.)?, (\d+)\) = (-?\d+)', line)
    if not m or int(m.group(1)) < 3:
        continue  # the terminal's own descriptors: entering and leaving
    data = bytes.fromhex(m.group(2).replace('\\x', ''))
    size, took = int(m.group(4)), int(m.group(5))
    if took < 0:
        continue
    if not partial:
        frames += 1
        if not data.startswith(b'\x1b[?2026h'):
            bad += 1
    partial = took < size
    if not partial and not data[:took].endswith(b'\x1b[?2026l'):
        bad += 1
print(f"{frames} frames, {bad} split or unbracketed")
sys.exit(0 if frames >= 150 and bad == 0 else 1)
PY
    pass "sync: every frame one write in synchronized-output brackets"
  else
    fail "sync: a frame split across writes, or not bracketed"
  fi
else
  echo "skipped: sync: strace is not installed"
fi

# Casts: intro-term records what it plays; asciinema reads its cast and
# intro-capture's.
session cast 80 60
start cast --fps 0 --stop-at 420 --cast "$WORK/term.cast"
at_stop cast 640x480 420 "" 80 60
T send-keys -t cast q
finished cast 0
head -1 "$WORK/term.cast" | grep -q '^{"version": 2, "width": 80, "height": 60, ' &&
  [ "$(wc -l <"$WORK/term.cast")" -gt 150 ] &&
  pass "cast: intro-term wrote a cast of 80x60 with $(($(wc -l <"$WORK/term.cast") - 1)) events" ||
  fail "cast: intro-term's cast is missing or short"
(cd "$DATA" && "$BIN/intro-capture" --frames 500 --cast "$WORK/capture.cast" >/dev/null 2>&1) ||
  fail "cast: intro-capture --cast failed"
if command -v asciinema >/dev/null; then
  for c in term capture; do
    # asciinema reads the keyboard's terminal: script gives it one.
    script -q -e -c "asciinema cat $WORK/$c.cast" /dev/null </dev/null >"$WORK/$c.cat" 2>&1 &&
      grep -q '2J' "$WORK/$c.cat" && [ "$(wc -c <"$WORK/$c.cat")" -gt 10000 ] &&
      pass "cast: asciinema reads the cast of intro-$c" ||
      { fail "cast: asciinema cannot read the cast of intro-$c"; head -5 "$WORK/$c.cat"; }
  done
else
  echo "skipped: cast: asciinema is not installed"
fi

exit $FAILED
