#!/usr/bin/env bash
# Builds the Debian packages (trackling and trackling-cli) from a Release build in build-release/
# (or $BUILD_DIR), without the tests and benchmarks, and checks them (scripts/check-package.sh).
# The packages land in that folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-release}"
"$root/scripts/setup.sh"
# Debian's build flags, hardening included (used when the folder is configured the first time).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
BUILD_DIR="$build" "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
    -DTRACKLING_BUILD_TESTS=OFF -DTRACKLING_BUILD_BENCH=OFF >/dev/null
"$root/scripts/check-package.sh" "$build"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/trackling_*.deb "$build"/trackling-cli_*.deb
