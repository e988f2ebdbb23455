#!/usr/bin/env bash
# Configures and builds Trackling into build/ (or $BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
gen=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build/CMakeCache.txt" ]; then
    gen=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${gen[@]}" "$@"
cmake --build "$build" --parallel "$(nproc)"
