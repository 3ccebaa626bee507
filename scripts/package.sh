#!/usr/bin/env bash
# Makes the Debian package tandrix_<version>_<arch>.deb: a Release build with
# Debian's hardening flags in BUILD (default build-package/), installed under
# /usr and packed by `cpack -G DEB` there. Its dependencies come from
# dpkg-shlibdeps. Prints the package's path last.
#
#   scripts/package.sh [BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-package}

if command -v dpkg-buildflags >/dev/null; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  export CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
fi
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
