#!/usr/bin/env bash
# Installs what is needed, builds the intros and runs intro-window from the
# data folder at 60 presentations a second (the intro opens its data files
# from the working directory).
# Without a display it plays intro-term in the terminal, or, with no terminal
# either, records the first 1000 frames headless instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/install-deps.sh" run
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=OFF >/dev/null
cmake --build "$here/build" -j"$(nproc)"
cd "$here/data"
if [ -z "${DISPLAY:-}" ] && [ -t 1 ]; then
  exec "$here/build/demo/intro-term"  # no display, but a terminal: play in it
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No display (DISPLAY is not set): recording the first 1000 frames to $here/capture/ instead."
  exec "$here/build/demo/intro-capture" --frames 1000 --out "$here/capture"
fi
exec "$here/build/demo/intro-window" --fps 60
