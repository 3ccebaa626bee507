#!/usr/bin/env bash
# Builds the intros for a browser, intro-web (640x480) and intro-web-fullscreen
# (320x200), with Emscripten into one static folder, build-web/site/.
#   scripts/web.sh          build
#   scripts/web.sh serve    build, then serve the folder on 127.0.0.1 (PORT,
#                           default 8000) and print the address
#   --data DIR              (before either) pack the data files of the folder
#                           DIR, a maker's (tandrix new DIR), in place of data/
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: $0 [--data DIR] [serve]" >&2; exit 2; }
data=$here/data
if [ "${1:-}" = --data ]; then
  [ -n "${2:-}" ] || usage
  data=$(cd "$2" && pwd) || { echo "$0: cannot enter the folder $2" >&2; exit 1; }
  shift 2
fi
mode=${1:-build}
[ $# -le 1 ] || usage
case "$mode" in
  build | serve) ;;
  *) usage ;;
esac
if ! command -v emcmake >/dev/null; then
  echo "emscripten is missing: scripts/install-deps.sh test installs it" >&2
  exit 1
fi
# Debian's emscripten runs its JavaScript tools with the node on PATH; a node
# other than Debian's does not look in Debian's module folder, where acorn is.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
# The folder is named every time, so that a plain build packs data/ again.
emcmake cmake -S "$here" -B "$here/build-web" -DCMAKE_BUILD_TYPE=Release \
  -DINTRO_WEB_DATA="$data" >/dev/null
emmake cmake --build "$here/build-web" -j"$(nproc)" --target intro-web intro-web-fullscreen
echo "built: $here/build-web/site/ (data from $data)"
if [ "$mode" = serve ]; then
  exec node "$here/web/serve.mjs" "$here/build-web/site" "${PORT:-8000}"
fi
