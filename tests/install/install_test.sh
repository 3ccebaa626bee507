#!/usr/bin/env bash
# The installed tree and the Debian package, used as a stranger would:
#   1. cmake --install of BUILD into a staging prefix; every installed header
#      compiles on its own;
#   2. tests/consumer, built against the prefix with find_package(Tandrix) and
#      once more with pkg-config alone, scales a PNM file correctly and needs
#      no SDL;
#   3. the launcher picks its intro, and the installed intro-capture run from
#      an empty folder with --data records the frames the build tree's does;
#   4. scripts/package.sh makes the .deb; unpacked with dpkg-deb -x, its
#      programs run and record the same frames; its Depends name SDL 1.2's
#      runtime; lintian finds no error in it.
# Nothing is installed into the system: everything goes to a scratch folder.
#
#   tests/install/install_test.sh SOURCE BUILD [SCRATCH]
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
scratch=${3:-$(mktemp -d)}
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
failures=0

check() {  # check DESCRIPTION COMMAND...: runs the command, reports the outcome
  local what=$1
  shift
  if "$@" >"$scratch/last.log" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    sed 's/^/  | /' "$scratch/last.log" | tail -20
    failures=$((failures + 1))
  fi
}

stage=$scratch/stage
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null

headers_compile_alone() {
  local header n=0
  for header in $(cd "$stage/include" && find tandrix -name '*.h' | sort); do
    echo "#include <$header>" |
      g++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$stage/include" -x c++ - ||
      { echo "$header does not compile on its own"; return 1; }
    n=$((n + 1))
  done
  [ "$n" -ge 8 ] || { echo "only $n headers installed"; return 1; }
}
check "the installed headers compile on their own" headers_compile_alone

# A 2x2 picture and what a 4x4 nearest-neighbour scaling of it holds.
printf 'P3\n2 2\n255\n255 0 0  0 255 0\n0 0 255  255 255 255\n' >"$scratch/in.ppm"
row() { printf '%s%s%s%s' "$1" "$1" "$2" "$2"; }
expected=$( (row ff0000 00ff00; row ff0000 00ff00; row 0000ff ffffff; row 0000ff ffffff))

scales_correctly() {  # scales_correctly PROGRAM
  rm -f "$scratch/out.ppm"
  "$1" "$scratch/in.ppm" "$scratch/out.ppm" 4 4 || return 1
  head -c 2 "$scratch/out.ppm" | grep -qx P6 || { echo "not a P6 file"; return 1; }
  local got
  got=$(tail -c 48 "$scratch/out.ppm" | od -An -v -tx1 | tr -d ' \n')
  [ "$got" = "$expected" ] || { echo "pixels $got, expected $expected"; return 1; }
  # The image library does not bring SDL along.
  if readelf -d "$1" | grep -q 'NEEDED.*SDL'; then echo "$1 links SDL"; return 1; fi
}

consumer_with_cmake() {
  cmake -S "$src/tests/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$stage" &&
    cmake --build "$scratch/consumer" &&
    scales_correctly "$scratch/consumer/scale_pnm"
}
check "the consumer built with find_package(Tandrix) scales a PNM file" consumer_with_cmake

consumer_with_pkg_config() {
  local pc
  pc=$(dirname "$(find "$stage" -name tandrix-img.pc)")
  # shellcheck disable=SC2046
  g++ -std=c++20 -Wall -Wextra -Werror "$src/tests/consumer/scale_pnm.cpp" \
    -o "$scratch/scale_pnm_pc" $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs tandrix-img) &&
    scales_correctly "$scratch/scale_pnm_pc"
}
check "the consumer built with pkg-config alone scales a PNM file" consumer_with_pkg_config

versions() {  # versions BIN: each program and the launcher name themselves
  local p
  for p in intro-window intro-fullscreen intro-capture $(test -x "$1/intro-term" && echo intro-term); do
    [ "$("$1/$p" --version)" = "$p (tandrix) $version" ] || { "$1/$p" --version; return 1; }
  done
  [ "$("$1/tandrix" --version)" = "intro-window (tandrix) $version" ] &&
    [ "$("$1/tandrix" --fps 30 --fullscreen --version)" = "intro-fullscreen (tandrix) $version" ]
}
check "the installed programs and the launcher give their version" versions "$stage/bin"

# The frames the build tree's recorder writes from the source's data folder:
# the map (from presentation 190), the running man, stars, logo and scroller.
reference=$scratch/frames-tree
rm -rf "$reference"
(cd "$src/data" && "$build/bin/intro-capture" --frames 790 --from 190 --every 60 \
  --out "$reference" >"$scratch/reference.log" 2>&1)

records_the_same() {  # records_the_same BIN FRAMES...: from an empty folder
  local bin=$1 out=$scratch/frames-$RANDOM
  shift
  mkdir -p "$scratch/empty" && [ -z "$(ls -A "$scratch/empty")" ] || return 1
  (cd "$scratch/empty" && "$bin/intro-capture" --data "$bin/../share/tandrix" "$@" \
    --out "$out") || return 1
  [ -z "$(ls -A "$scratch/empty")" ] || { echo "wrote into the working folder"; return 1; }
  local f n=0
  for f in "$out"/frame-*.ppm; do
    cmp "$f" "$reference/$(basename "$f")" || return 1
    n=$((n + 1))
  done
  [ "$n" -gt 0 ] || { echo "no frames"; return 1; }
  rm -rf "$out"
}
check "the installed intro-capture --data records the build tree's frames" \
  records_the_same "$stage/bin" --frames 790 --from 190 --every 60

# The launcher in a window on SDL's dummy driver: it finds its data (nothing
# is missing), and SIGTERM ends it through the fade with status 0.
launcher_plays() {
  (cd "$scratch/empty" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    timeout --preserve-status -k 30 -s TERM 2 \
    "$stage/bin/tandrix") >"$scratch/launcher.log" 2>&1 || { cat "$scratch/launcher.log"; return 1; }
  # The intro's own complaints only (an audio library may add its own lines).
  if grep -Eq '^(intro|tandrix|intro-window)[^ ]*: (cannot|no sound)' "$scratch/launcher.log"; then
    cat "$scratch/launcher.log"; return 1
  fi
}
check "the launcher plays from the installed data folder" launcher_plays

# The Debian package.
deb=$("$src/scripts/package.sh" "$scratch/build-package" | tail -1)
check "scripts/package.sh made tandrix_${version}_amd64.deb" \
  test "$(basename "$deb")" = "tandrix_${version}_amd64.deb"
unpacked=$scratch/deb-root
rm -rf "$unpacked"
dpkg-deb -x "$deb" "$unpacked"
check "the unpacked package's programs give their version" versions "$unpacked/usr/bin"
check "the unpacked package's intro-capture records 10 frames like the build tree's" \
  records_the_same "$unpacked/usr/bin" --frames 790 --from 190 --every 60
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "the package depends on SDL 1.2's runtime" grep -qE '(^|, )libsdl1\.2' <<<"$depends"
if command -v lintian >/dev/null; then
  check "lintian finds no error in the package" lintian --fail-on error "$deb"
  lintian "$deb" | sed 's/^/lintian: /' || true
fi

[ "$failures" -eq 0 ] || { echo "$failures install checks failed"; exit 1; }
echo "all install checks passed"
