#!/usr/bin/env bash
# Installs what is missing, builds Trackling and starts it in the current folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
exec "${BUILD_DIR:-$root/build}/app/trackling" "$@"
