#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, unpacks it and a `cmake --install`
# into scratch roots, and checks what would be installed: the program (its --help and --version
# without a display), its menu entry (opening MP3 files, never claiming folders), icon, AppStream
# data (validated), manual page, copyright file and changelog; and of the package: a stripped
# binary, its runtime dependencies, and lintian without errors or warnings.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)"
app_id=org.trackling.trackling
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

check_tree() {
    local root="$1"
    local desktop="$root/share/applications/$app_id.desktop"
    local doc="$root/share/doc/trackling"
    for f in bin/trackling \
             share/applications/$app_id.desktop \
             share/metainfo/$app_id.metainfo.xml \
             share/icons/hicolor/scalable/apps/$app_id.svg \
             share/man/man1/trackling.1.gz \
             share/doc/trackling/copyright \
             share/doc/trackling/changelog.gz; do
        [ -e "$root/$f" ] || fail "missing $f in $root"
    done
    [ -x "$root/bin/trackling" ] || fail "bin/trackling is not executable"
    desktop-file-validate "$desktop" || fail "desktop entry rejected"
    appstreamcli validate --no-net --pedantic "$root/share/metainfo/$app_id.metainfo.xml" >/dev/null \
        || fail "metainfo rejected"
    grep -q '^Exec=trackling %F$' "$desktop" || fail "Exec line does not take files and folders"
    grep -q "^MimeType=.*audio/mpeg;" "$desktop" || fail "menu entry does not open audio/mpeg"
    # A tag editor must never become the program that opens folders.
    ! grep -q "^MimeType=.*inode/directory" "$desktop" || fail "menu entry claims folders"
    ! grep -q "inode/directory" "$root/share/metainfo/$app_id.metainfo.xml" \
        || fail "metainfo claims folders"
    grep -q '<project_license>GPL-3.0-or-later</project_license>' \
        "$root/share/metainfo/$app_id.metainfo.xml" || fail "metainfo licence"

    # The copyright file in the machine-readable format, naming the licence.
    head -1 "$doc/copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        || fail "copyright file is not machine-readable"
    grep -q '^License: GPL-3.0-or-later$' "$doc/copyright" || fail "copyright file licence"
    gzip -t "$doc/changelog.gz" || fail "changelog.gz"

    # The manual page renders without warnings and names every option that --help lists; both
    # run without a display.
    local warnings
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/share/man/man1/trackling.1.gz" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "manual page warnings: $warnings"
    local help manual
    help="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/trackling" --help)" \
        || fail "--help failed"
    manual="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/share/man/man1/trackling.1.gz" 2>/dev/null)"
    grep -q 'Usage: .*trackling \[options\] \[FOLDER | FILE...\]' <<<"$help" || fail "--help usage"
    for option in $(grep -oE -- '--?[a-z-]+' <<<"$(grep -E '^ +-' <<<"$help")"); do
        grep -qF -- "$option" <<<"$manual" || fail "manual page lacks $option"
    done
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/trackling" --version |
        grep -q 'GNU GPL version 3 or later' || fail "--version lacks the licence"

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
file -L "$scratch/root/usr/bin/trackling" | grep -q ', stripped' || fail "the binary is not stripped"
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6widgets6 libqt6multimedia6 libtag1v5 gstreamer1.0-plugins-good gstreamer1.0-plugins-base; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

# One version everywhere: the package, the program and the AppStream release.
version="$(dpkg-deb -f "$deb" Version)"
"$scratch/root/usr/bin/trackling" --version | head -1 | grep -qx "Trackling $version" \
    || fail "--version does not say $version"
grep -q "<release version=\"$version\"" "$scratch/root/usr/share/metainfo/$app_id.metainfo.xml" \
    || fail "the AppStream release is not $version"

# 3. lintian: no errors, no warnings. What it still says, as information only (I:), and why:
#  - spelling-error-in-binary Psychadelic: the genre is spelt so in the ID3v1 genre table that
#    every tag tool shares; the program must write and show that name.
#  - binary-has-unneeded-section .comment: the compilers' version notes (a few hundred bytes);
#    debhelper's dh_strip removes them, the plain strip that CPack runs does not. Harmless.
#  - hardening-no-bindnow, hardening-no-fortify-functions: only for a build without Debian's build
#    flags (the test suite's); scripts/package.sh builds the package with them (dpkg-buildflags).
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup.sh installs it)"
lintian_out="$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)"
if grep -E '^(E|W): ' <<<"$lintian_out"; then
    fail "lintian reports errors or warnings (above)"
fi
echo "check-package: $(basename "$deb") installs bin/trackling (stripped), the menu entry, icon,"
echo "check-package: metainfo, manual page, copyright and changelog; lintian is clean"
echo "check-package: Depends: $depends"
