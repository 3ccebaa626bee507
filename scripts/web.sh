#!/usr/bin/env bash
# Builds the intros for a browser, intro-web (640x480) and intro-web-fullscreen
# (320x200), with Emscripten into one static folder, build-web/site/.
#   scripts/web.sh          build
#   scripts/web.sh serve    build, then serve the folder on 127.0.0.1 (PORT,
#                           default 8000) and print the address
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-build}
case "$mode" in
  build | serve) ;;
  *) echo "usage: $0 [serve]" >&2; exit 2 ;;
esac
if ! command -v emcmake >/dev/null; then
  echo "emscripten is missing: scripts/install-deps.sh test installs it" >&2
  exit 1
fi
# Debian's emscripten runs its JavaScript tools with the node on PATH; a node
# other than Debian's does not look in Debian's module folder, where acorn is.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
emcmake cmake -S "$here" -B "$here/build-web" -DCMAKE_BUILD_TYPE=Release >/dev/null
emmake cmake --build "$here/build-web" -j"$(nproc)" --target intro-web intro-web-fullscreen
echo "built: $here/build-web/site/"
if [ "$mode" = serve ]; then
  exec node "$here/web/serve.mjs" "$here/build-web/site" "${PORT:-8000}"
fi
