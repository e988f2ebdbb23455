#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, unpacks it and a `cmake --install`
# into scratch roots, and checks what would be installed: the program, its menu entry, icon and
# AppStream data (validated), and the package's runtime dependencies.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)"
app_id=org.trackling.Trackling
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

check_tree() {
    local root="$1"
    for f in bin/trackling \
             share/applications/$app_id.desktop \
             share/metainfo/$app_id.metainfo.xml \
             share/icons/hicolor/scalable/apps/$app_id.svg; do
        [ -e "$root/$f" ] || fail "missing $f in $root"
    done
    [ -x "$root/bin/trackling" ] || fail "bin/trackling is not executable"
    desktop-file-validate "$root/share/applications/$app_id.desktop" || fail "desktop entry rejected"
    appstreamcli validate --no-net --pedantic "$root/share/metainfo/$app_id.metainfo.xml" >/dev/null \
        || fail "metainfo rejected"
    grep -q '^Exec=trackling$' "$root/share/applications/$app_id.desktop" || fail "Exec line"
    # The installed program starts (it runs until stopped).
    local rc=0
    QT_QPA_PLATFORM=offscreen timeout 3 "$root/bin/trackling" >/dev/null 2>&1 || rc=$?
    [ "$rc" -eq 124 ] || fail "installed program ended with status $rc instead of running"
}

# 1. cmake --install into a temporary prefix.
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"

# 2. The Debian package.
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
deb="$(ls "$scratch"/deb/trackling_*.deb)"
[ -f "$deb" ] || fail "no package built"
dpkg-deb -x "$deb" "$scratch/root"
check_tree "$scratch/root/usr"
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6widgets6 libqt6multimedia6 libtag1v5 gstreamer1.0-plugins-good gstreamer1.0-plugins-base; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
echo "check-package: $(basename "$deb") installs bin/trackling, the menu entry, icon and metainfo"
echo "check-package: Depends: $depends"
