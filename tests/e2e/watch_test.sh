#!/usr/bin/env bash
# End to end: the live preview. intro-window --watch plays a copy of the data
# folder in a private X server; message.txt is edited while it runs, and the
# scroller row of a screenshot, read back cell by cell against the glyph
# sheet, shows the new text half a second later. An edit that fails its
# checks changes nothing and is named once on standard error.
# Usage: watch_test.sh BIN_DIR DATA_DIR
. "$(dirname "$0")/lib.sh"
BIN="$(cd "$1" && pwd)/intro-window"
DATA="$(cd "$2" && pwd)"
FOLDER=$WORK/mine
mkdir "$FOLDER" && cp "$DATA"/* "$FOLDER"/ 2>/dev/null
printf '%0200d\n' 0 | tr 0 H >"$FOLDER/message.txt"

# row NAME: the characters of the scroller row (row 45 of the 80x60 cells) of
# a screenshot of the window, each cell matched against the glyph sheet.
row() {
  "$CONVERT" "$WORK/$1.png" -depth 8 rgb:"$WORK/$1.rgb" &&
  "$CONVERT" "$FOLDER/font8x8.ppm" -depth 8 rgb:"$WORK/font.rgb" &&
  python3 - "$WORK/$1.rgb" "$WORK/font.rgb" <<'PY'
import sys
shot = open(sys.argv[1], "rb").read()
font = open(sys.argv[2], "rb").read()
W, SW = 640, 128
def cell(data, width, x, y):
    return bytes(b for r in range(8)
                 for b in data[((y + r) * width + x) * 3:((y + r) * width + x + 8) * 3])
glyphs = {}
for code in list(range(32, 127)) + list(range(0, 32)):
    g = cell(font, SW, code * 8 % SW, code * 8 // SW * 8)
    glyphs.setdefault(g, chr(code) if 32 <= code < 127 else "?")
print("".join(glyphs.get(cell(shot, W, c * 8, 45 * 8), "?") for c in range(80)))
PY
}

# wshot NAME: a screenshot of the intro's window alone (640x480).
wshot() { "$IMPORT" -display "$DISPLAY" -window "$WID" "$WORK/$1.png"; }

# wait_row TEXT: screenshots until the scroller row is TEXT (at most 10 s).
wait_row() {
  local i
  for i in $(seq 40); do
    wshot w; [ "$(row w)" = "$1" ] && return 0
    sleep 0.25
  done
  return 1
}

start_x 1024x768
start_intro "$BIN" "$FOLDER" --watch --fps 60
press space  # scene 2: the scroller
H80=$(printf '%080d' 0 | tr 0 H)
W80=$(printf '%080d' 0 | tr 0 W)
wait_row "$H80" && pass "the scroller shows the folder's message" ||
  fail "scroller row: $(row w)"

printf '%0200d\n' 0 | tr 0 W >"$FOLDER/message.txt"
sleep 0.5
wshot edited
[ "$(row edited)" = "$W80" ] && pass "half a second after the edit the scroller shows it" ||
  fail "after the edit the row is: $(row edited)"

printf 'WWW\tBAD\n' >"$FOLDER/message.txt"
sleep 0.5
wshot bad
[ "$(row bad)" = "$W80" ] && pass "a bad edit keeps the last good message" ||
  fail "after a bad edit the row is: $(row bad)"
sleep 0.3
[ "$(grep -c 'message.txt:1:4: error: a tab' "$WORK/intro.err")" = 1 ] &&
  pass "the bad edit is named once" || { cat "$WORK/intro.err"; fail "no one line for the bad edit"; }

running && pass "the program never restarted" || fail "the intro ended"
press q
wait_exit 60
[ "$STATUS" = 0 ] && pass "q exits with status 0" || fail "q: exit status $STATUS"
exit $FAILED
