# Shared helpers of the end-to-end tests: a private X server, the intro in it,
# real key presses and screenshots. Sourced by the *_test.sh scripts.
set -u

CONVERT=/usr/bin/convert
IMPORT=/usr/bin/import
COMPARE=/usr/bin/compare
WORK=$(mktemp -d /tmp/intro-e2e.XXXXXX)
XVFB_PID=
INTRO_PID=
FAILED=0

cleanup() {
  [ -n "$INTRO_PID" ] && kill -9 "$INTRO_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILED=1; }
pass() { echo "ok: $*"; }

# start_x WIDTHxHEIGHT: a private Xvfb on a display number it picks itself;
# it writes the number to -displayfd once it accepts connections.
start_x() {
  local n= fifo="$WORK/displayfd"
  rm -f "$fifo"; mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1"x24 -noreset -nolisten tcp \
    3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  read -r -t 30 n <"$fifo" || n=
  if [ -n "$n" ]; then
    export DISPLAY=:$n
    xdpyinfo >/dev/null 2>&1 && return 0
  fi
  kill "$XVFB_PID" 2>/dev/null; XVFB_PID=
  echo "cannot start Xvfb"; cat "$WORK/xvfb.log"; exit 1
}

# start_intro BINARY DATA_DIR [ARG...]: runs the intro from the data folder
# with the arguments and waits for its window; sets WID.
start_intro() {
  local bin=$1 data=$2
  shift 2
  (cd "$data" && exec "$bin" "$@") >"$WORK/intro.out" 2>"$WORK/intro.err" &
  INTRO_PID=$!
  WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^TANDRIX$' 2>/dev/null | head -n1)
  if [ -z "$WID" ]; then
    fail "no window named TANDRIX appeared"; cat "$WORK/intro.err"; exit 1
  fi
}

# press KEY...: real key presses into the intro's window.
press() {
  xdotool windowfocus --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
  xdotool key --delay 60 "$@"
}

# shot NAME: a screenshot of the whole X screen.
shot() { "$IMPORT" -display "$DISPLAY" -window root "$WORK/$1.png"; }

# brightest NAME: the largest channel value in a screenshot, 0..255.
brightest() { "$CONVERT" "$WORK/$1.png" -format '%[fx:int(255*maxima)]' info:; }

# differ A B: number of pixels that differ between two screenshots.
differ() { "$COMPARE" -metric AE "$WORK/$1.png" "$WORK/$2.png" null: 2>&1 | cut -d' ' -f1; }

# running: the intro has not exited (an exited child stays a zombie until it
# is waited for, so the process state is looked at, not just its existence).
running() {
  [ -n "$INTRO_PID" ] && [ -r /proc/$INTRO_PID/status ] &&
    ! grep -q '^State:[[:space:]]*Z' /proc/$INTRO_PID/status
}

# close_request: asks the window to close the way a window manager does
# (a WM_DELETE_WINDOW client message).
close_request() {
  python3 - "$WID" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                         ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                ("pad", ctypes.c_long * 12)]
d = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = ClientMessage()
event.type = 33  # ClientMessage
event.window = window
event.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
event.format = 32
event.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, window, 0, 0, ctypes.byref(event))
x.XFlush(d)
PY
}

# now_ms: milliseconds of the monotonic clock.
now_ms() { echo $(( $(cut -d' ' -f1 /proc/uptime | tr -d .) * 10 )); }

# wait_exit SECONDS: waits for the intro to end; sets STATUS (124 on time-out).
wait_exit() {
  local i
  for i in $(seq $(( $1 * 10 ))); do
    if ! running; then
      wait "$INTRO_PID"; STATUS=$?; INTRO_PID=; return 0
    fi
    sleep 0.1
  done
  STATUS=124
}
