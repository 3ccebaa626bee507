#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the unit,
# headless SDL and end-to-end tests, the web intros in headless Chromium; the
# libraries that do not need SDL, built and tested on their own without it;
# then the unit and headless tests again built with AddressSanitizer and
# UndefinedBehaviorSanitizer. The benchmarks are built too (so they never rot)
# but not run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)
"$here/scripts/install-deps.sh" test

echo "== layout: every include goes down the dependency order"
"$here/scripts/check-layers.sh"

echo "== build and test"
cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_BENCH=ON >/dev/null
cmake --build "$here/build-test" -j"$jobs"
(cd "$here/build-test" && ctest --output-on-failure -j"$jobs")

echo "== install into a staging prefix, the Debian package"
"$here/tests/install/install_test.sh" "$here" "$here/build-test" "$here/build-install"

echo "== in a browser: build the web intros, test them in headless Chromium"
"$here/scripts/web.sh"
(cd "$here/tests/web" && npm ci --no-audit --no-fund --loglevel=error)
node "$here/tests/web/browser_test.mjs" --site "$here/build-web/site" \
  --capture "$here/build-test/bin/intro-capture" --data "$here/data" \
  --out "$here/build-web/browser-test"
node "$here/tests/web/cast_player_test.mjs" \
  --capture "$here/build-test/bin/intro-capture" --data "$here/data" \
  --out "$here/build-web/cast-player-test"

echo "== without SDL: the libraries that need no SDL, SDL's pkg-config hidden"
no_pc=$(mktemp -d)
PKG_CONFIG_LIBDIR="$no_pc" cmake -S "$here" -B "$here/build-nosdl" \
  -DCMAKE_BUILD_TYPE=Debug -DINTRO_SDL=OFF >/dev/null
rmdir "$no_pc"
cmake --build "$here/build-nosdl" -j"$jobs"
(cd "$here/build-nosdl" && ctest --output-on-failure -j"$jobs")

echo "== sanitizers: build and test"
cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DINTRO_SANITIZE=ON >/dev/null
cmake --build "$here/build-asan" -j"$jobs"
(cd "$here/build-asan" &&
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs")
