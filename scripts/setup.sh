#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Trackling need, only those
# that are missing. Safe to run again.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev libtag1-dev zlib1g-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-liberation fonts-dejavu-core
    xvfb xauth
    desktop-file-utils appstream dpkg-dev file lintian
)
# Extra packages for optional steps are appended by callers: setup.sh PKG...
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"
