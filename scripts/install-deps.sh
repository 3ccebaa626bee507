#!/usr/bin/env bash
# Installs, from Debian's packages, what building the intro needs ("run"), or
# what building and testing it needs ("test"). Uses sudo when not root and
# skips apt entirely when everything is already there.
set -euo pipefail

run_packages=(g++ cmake make pkg-config libsdl1.2-dev libgif-dev libpng-dev)
test_packages=("${run_packages[@]}" libgtest-dev libgmock-dev libbenchmark-dev
  libsdl1.2-compat xvfb xdotool x11-utils imagemagick netpbm
  libnetpbm-dev libstb-dev libsdl-gfx1.2-dev libtcod-dev libcaca-dev python3
  valgrind dpkg-dev lintian emscripten chromium tmux asciinema strace ffmpeg)

case "${1:-run}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$p")
done
# The browser test needs node and npm. A node from elsewhere (with its own
# npm) serves as well, and Debian's packages would conflict with it, so they
# are only installed where the commands are missing.
if [ "${1:-run}" = test ]; then
  command -v node >/dev/null || missing+=(nodejs)
  command -v npm >/dev/null || missing+=(npm)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
