#!/usr/bin/env bash
# Installs what is needed, builds the intros and runs intro-window from the
# data folder at 60 presentations a second (the intro opens its data files
# from the working directory).
# Without a display it plays intro-term when standard output is a terminal,
# and otherwise records the first 1000 presentations headless instead, as one
# animated GIF.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/install-deps.sh" run
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=OFF >/dev/null
cmake --build "$here/build" -j"$(nproc)"
cd "$here/data"
if [ -z "${DISPLAY:-}" ] && [ -t 1 ]; then
  exec "$here/build/bin/intro-term"  # no display, but a terminal: play in it
fi
if [ -z "${DISPLAY:-}" ]; then
  gif=$here/capture/intro.gif
  echo "No display (DISPLAY is not set): recording the first 1000 presentations to $gif instead."
  mkdir -p "$here/capture"
  "$here/build/bin/intro-capture" --frames 1000 --gif "$gif"
  echo "$gif: $(du -h "$gif" | cut -f1)B ($(stat -c %s "$gif") bytes)"
  exit 0
fi
exec "$here/build/bin/intro-window" --fps 60
