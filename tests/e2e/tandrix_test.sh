#!/usr/bin/env bash
# The maker's commands end to end: `tandrix new` makes a folder and never
# overwrites anything, `tandrix check` names each problem with its place, and
# intro-capture records a maker's folder with its own message and logo.
# Usage: tandrix_test.sh BIN_DIR DATA_DIR
set -uo pipefail
BIN=$(cd "$1" && pwd)
DATA=$(cd "$2" && pwd)
WORK=$(mktemp -d /tmp/intro-tandrix.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
pass() { echo "ok: $*"; }
cd "$WORK"

# new: every data file, the built-in texts and the guide; check finds nothing.
"$BIN/tandrix" new mine >new.out 2>new.err
[ $? = 0 ] && [ ! -s new.err ] && pass "new makes a folder" || { cat new.err; fail "new failed"; }
want=$( (grep -v '^#' "$DATA/files.txt" | awk '{print $1}'; echo README.txt) | sort)
[ "$(ls mine | sort)" = "$want" ] && pass "new writes every data file and README.txt" ||
  fail "new wrote: $(ls mine | tr '\n' ' ')"
cmp -s mine/WorldMap.txt "$DATA/WorldMap.txt" && cmp -s mine/font8x8.ppm "$DATA/font8x8.ppm" &&
  pass "new copies the shipped files" || fail "the copies differ"
out=$("$BIN/tandrix" check mine 2>&1); status=$?
[ "$status" = 0 ] && [ -z "$out" ] && pass "check finds nothing wrong in a new folder" ||
  fail "check of a new folder: status $status: $out"

# new refuses to overwrite: a folder that holds anything, a symbolic link.
before=$(md5sum mine/* | md5sum)
"$BIN/tandrix" new mine >again.out 2>again.err; status=$?
[ "$status" = 1 ] && [ "$(wc -l <again.err)" = 1 ] && [ ! -s again.out ] &&
  pass "new refuses a folder that is not empty, in one line" ||
  { cat again.err; fail "new over a full folder: status $status"; }
[ "$(md5sum mine/* | md5sum)" = "$before" ] && pass "nothing was overwritten" ||
  fail "new changed the folder"
mkdir other && echo keep >other/message.txt
"$BIN/tandrix" new other 2>/dev/null; status=$?
[ "$status" = 1 ] && [ "$(cat other/message.txt)" = keep ] && [ "$(ls other)" = message.txt ] &&
  pass "new leaves a folder with one file of its own alone" || fail "new wrote into other/"
mkdir empty && ln -s empty link
"$BIN/tandrix" new link 2>/dev/null; status=$?
[ "$status" = 1 ] && [ -z "$(ls empty)" ] && pass "new does not follow a symbolic link" ||
  fail "new followed link/: status $status"

# check: each problem at its place, status 1; a warning alone is status 0.
cp -r mine broken
printf '000 000\n0 0\n000 000 000 000 0000\n0 0\n0 0\n' >broken/logo.txt
printf 'Greetings\tto all\n' >broken/message.txt
rm broken/manRun05.txt
out=$("$BIN/tandrix" check broken); status=$?
expected="broken/manRun05.txt: error: the running-man frame is missing
broken/message.txt:1:10: error: a tab (0x09): the message takes printable characters only; use blanks
broken/logo.txt:3:20: error: the row is 20 characters wide; the logo takes at most 19"
[ "$status" = 1 ] && [ "$out" = "$expected" ] && pass "check names every problem with its line and column" ||
  { echo "$out"; fail "check of broken/: status $status"; }
"$BIN/tandrix" check nowhere 2>check.err; status=$?
[ "$status" = 1 ] && [ "$(wc -l <check.err)" = 1 ] && pass "check of a missing folder: one line" ||
  fail "check nowhere: status $status"

# intro-capture --data records the maker's folder: its own message and logo.
printf 'MAKERS WERE HERE \n' >mine/message.txt
printf 'MMMMMMM\nM M M M\nM M M M\nM   M M\nM     M\n' >mine/logo.txt
keys=(--size 320x200 --frames 40 --from 30 --every 10 --keys 0:space --cells)
"$BIN/intro-capture" --data mine "${keys[@]}" --out rec-mine >cap.log 2>&1 &&
  "$BIN/intro-capture" --data "$DATA" "${keys[@]}" --out rec-data >>cap.log 2>&1 ||
  { cat cap.log; fail "intro-capture failed"; }
if [ -f rec-mine/cells-000030.txt ]; then
  # Scene 2 from presentation 1: its frame 29, the scroller at offset 14.
  grep -q 'MMMMMMM' rec-mine/cells-000030.txt && pass "the recording shows the maker's logo" ||
    fail "no logo in rec-mine/cells-000030.txt"
  grep -qx 'RE MAKERS WERE HERE MAKERS WERE HERE MAK' rec-mine/cells-000030.txt &&
    pass "the recording shows the maker's message" || fail "no message in the recording"
  grep -q '000 000 000 000 000' rec-data/cells-000030.txt && ! grep -q '000 000 000' rec-mine/cells-000030.txt &&
    pass "the shipped folder's recording has the built-in logo, the maker's not" ||
    fail "the logos are mixed up"
  cmp -s rec-mine/frame-000030.ppm rec-data/frame-000030.ppm && fail "the frames are the same" ||
    pass "the frames differ"
else
  fail "no cells written"
fi

# The launcher runs the intro beside it (here in the build tree) on its data.
out=$("$BIN/tandrix" --fullscreen --version) && [ "${out%% *}" = intro-fullscreen ] &&
  pass "the launcher runs the full-screen intro" || fail "tandrix --fullscreen --version: $out"
exit $FAILED
