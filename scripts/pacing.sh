#!/usr/bin/env bash
# Measures how evenly a paced intro presents: runs intro-window (or the
# program given) with --fps N in a private Xvfb for S seconds, notes the
# moment of every presentation with a preloaded logger, and prints the mean
# and 99th percentile of the intervals between presentations and the
# processor time used, as a share of one core.
# FPS 0 runs it unpaced and reports how many it presents a second.
# Usage: scripts/pacing.sh [FPS [SECONDS [PROGRAM]]]   (default 60 10 intro-window)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
fps=${1:-60}
seconds=${2:-10}
program=${3:-intro-window}
build="$here/build"
if [ ! -x "$build/bin/$program" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "$program" >/dev/null
fi
work=$(mktemp -d /tmp/intro-pacing.XXXXXX)
xvfb=
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
cc -O2 -shared -fPIC -o "$work/present_log.so" "$here/bench/pacing/present_log.c" -ldl

exec 3>"$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do grep -q . "$work/displayfd" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/displayfd")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

cd "$here/data"
PRESENT_LOG="$work/log" LD_PRELOAD="$work/present_log.so" \
  "$build/bin/$program" --fps "$fps" &
pid=$!
sleep "$seconds"
read -r utime stime < <(awk '{print $14, $15}' /proc/$pid/stat)
start=$(awk '{print $22}' /proc/$pid/stat)
ticks=$(getconf CLK_TCK)
uptime=$(cut -d' ' -f1 /proc/uptime)
kill -KILL $pid
wait $pid 2>/dev/null || true

python3 - "$work/log" "$fps" "$utime" "$stime" "$start" "$ticks" "$uptime" <<'PY'
import sys
log, fps, utime, stime, start, ticks, uptime = sys.argv[1:]
t = [int(line) for line in open(log) if line.strip()]
# The first second holds start-up (the window appearing); measure after it.
t = [x for x in t if x - t[0] >= 1e9]
d = sorted((b - a) / 1e6 for a, b in zip(t, t[1:]))
mean = sum(d) / len(d)
p99 = d[min(len(d) - 1, int(0.99 * len(d)))]
ticks = int(ticks)
cpu = (int(utime) + int(stime)) / ticks
alive = float(uptime) - int(start) / ticks
print(f"presentations measured: {len(d) + 1}, {1000 / mean:.0f} a second")
if int(fps) > 0:
    target = 1000 / int(fps)
    print(f"target interval: {target:.2f} ms")
    print(f"mean interval:   {mean:.3f} ms ({100 * (mean - target) / target:+.2f} %)")
    print(f"99th percentile: {p99:.3f} ms ({p99 - target:+.2f} ms)")
else:
    print(f"mean interval:   {mean:.4f} ms")
    print(f"99th percentile: {p99:.4f} ms")
print(f"max interval:    {d[-1]:.3f} ms")
print(f"processor time:  {cpu:.2f} s in {alive:.1f} s, {100 * cpu / alive:.2f} % of one core")
PY
