#!/usr/bin/env bash
# Builds Trackling and saves pictures of the main window and the edit dialog into docs/,
# taken under a virtual X display (xvfb), or on the offscreen platform when xvfb is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" >/dev/null
mkdir -p "$root/docs"
tool="$build/app/trackling-screenshots"
if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$tool" "$root/docs"
else
    QT_QPA_PLATFORM=offscreen "$tool" "$root/docs"
fi
