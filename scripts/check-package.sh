#!/usr/bin/env bash
# Builds the Debian packages from a configured build folder, unpacks them and a `cmake --install`
# into scratch roots, and checks what would be installed: the program (its --help and --version
# without a display), its menu entry (opening MP3 files, never claiming folders), icon, AppStream
# data (validated), manual page, copyright file and changelog; the command line trackling-cli
# (every command run without a display, no Qt Gui, Widgets or Multimedia library, its manual page
# and bash completion naming every command and option of its help); and of each package: a
# stripped binary, its runtime dependencies, one version, and lintian without errors or warnings.
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

check_cli_tree() {
    local root="$1"
    local cli="$root/bin/trackling-cli"
    local page="$root/share/man/man1/trackling-cli.1.gz"
    local completion="$root/share/bash-completion/completions/trackling-cli"
    for f in bin/trackling-cli share/man/man1/trackling-cli.1.gz \
             share/bash-completion/completions/trackling-cli \
             share/doc/trackling-cli/copyright share/doc/trackling-cli/changelog.gz; do
        [ -e "$root/$f" ] || fail "missing $f in $root"
    done
    [ -x "$cli" ] || fail "bin/trackling-cli is not executable"
    gzip -t "$root/share/doc/trackling-cli/changelog.gz" || fail "trackling-cli's changelog.gz"
    # No library of a display: it runs on a server.
    if ldd "$cli" | grep -E 'libQt6(Gui|Widgets|Multimedia)|libX11|libwayland|libGL'; then
        fail "trackling-cli links a display's library (above)"
    fi
    local warnings
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "trackling-cli's manual page warnings: $warnings"
    local manual help commands
    manual="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)"
    help="$(env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --help)" || fail "trackling-cli --help failed"
    grep -q '^Usage: trackling-cli \[GLOBAL OPTIONS\] COMMAND' <<<"$help" || fail "trackling-cli --help usage"
    commands="$(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -oE '^  [a-z0-9-]+' | tr -d ' ')"
    [ -n "$commands" ] || fail "trackling-cli --help lists no command"
    for command in $commands; do
        grep -qE "^ *$command( |$)" <<<"$manual" || fail "trackling-cli's manual page lacks $command"
        grep -qw -- "$command" "$completion" || fail "the bash completion lacks $command"
        local options
        options="$(env -u DISPLAY "$cli" "$command" --help | grep -E '^ +-' | grep -oE -- '--?[a-z][a-z-]*')"
        for option in $options; do
            grep -qF -- "$option" <<<"$manual" || fail "trackling-cli's manual page lacks $option"
            grep -qF -- "$option" "$completion" || fail "the bash completion lacks $option ($command)"
        done
    done
    # The completion offers the commands.
    local offered
    offered="$(PATH="$root/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(trackling-cli re); COMP_CWORD=1
        _trackling_cli; echo "${COMPREPLY[*]}"' _ "$completion")"
    [ "$offered" = "rename rename-from-tags redo" ] || fail "the bash completion offers '$offered' for 're'"
    # Every command runs without a display, on a file made here, and changes it as asked.
    local files="$scratch/files-$(basename "$(dirname "$root")")" state
    state="$files/state"
    mkdir -p "$files/Band - Album"
    { printf '\377\373\220\104'; head -c 4176 /dev/zero; } >"$files/Band - Album/01. Song.mp3"
    local run=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_STATE_HOME="$state" "$cli")
    "${run[@]}" tag --from-folder-name "$files/Band - Album" >/dev/null || fail "trackling-cli tag failed"
    "${run[@]}" --json show "$files/Band - Album" | grep -q '"title":"Song","artist":"Band","album":"Album"' \
        || fail "trackling-cli show does not show the tag written"
    "${run[@]}" -q undo || fail "trackling-cli undo failed"
    "${run[@]}" --version | grep -q 'GNU GPL version 3 or later' || fail "trackling-cli --version lacks the licence"
    local rc=0
    "${run[@]}" frobnicate 2>/dev/null || rc=$?
    [ "$rc" -eq 2 ] || fail "an unknown command ended with $rc, not 2"
}

# 1. cmake --install into a temporary prefix.
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"
check_cli_tree "$scratch/prefix"

# 2. The Debian packages: trackling and trackling-cli.
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
deb="$(ls "$scratch"/deb/trackling_*.deb)"
clideb="$(ls "$scratch"/deb/trackling-cli_*.deb)"
[ -f "$deb" ] && [ -f "$clideb" ] || fail "the packages were not both built"
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -x "$clideb" "$scratch/cliroot"
check_tree "$scratch/root/usr"
check_cli_tree "$scratch/cliroot/usr"
[ ! -e "$scratch/root/usr/bin/trackling-cli" ] || fail "trackling ships trackling-cli too"
[ ! -e "$scratch/cliroot/usr/bin/trackling" ] || fail "trackling-cli ships the window"
file -L "$scratch/root/usr/bin/trackling" | grep -q ', stripped' || fail "the binary is not stripped"
file -L "$scratch/cliroot/usr/bin/trackling-cli" | grep -q ', stripped' \
    || fail "trackling-cli is not stripped"
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6widgets6 libqt6multimedia6 libtag1v5 gstreamer1.0-plugins-good gstreamer1.0-plugins-base; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
clidepends="$(dpkg-deb -f "$clideb" Depends)"
for dep in libqt6core6 libtag1v5; do
    grep -q "$dep" <<<"$clidepends" || fail "trackling-cli's Depends lacks $dep: $clidepends"
done
if grep -qE 'libqt6(gui|widgets|multimedia|opengl)|gstreamer|fonts-' <<<"$clidepends"; then
    fail "trackling-cli depends on a display's library: $clidepends"
fi

# One version everywhere: the packages, the programs and the AppStream release; the window's
# package depends on the command line's of its very version.
version="$(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$clideb" Version)" = "$version" ] || fail "the packages' versions differ"
grep -q "trackling-cli (= $version)" <<<"$depends" || fail "trackling does not depend on trackling-cli (= $version)"
"$scratch/root/usr/bin/trackling" --version | head -1 | grep -qx "Trackling $version" \
    || fail "--version does not say $version"
"$scratch/cliroot/usr/bin/trackling-cli" --version | head -1 | grep -qx "trackling-cli (Trackling) $version" \
    || fail "trackling-cli --version does not say $version"
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
for package in "$deb" "$clideb"; do
    lintian_out="$(lintian --tag-display-limit 0 "$package" 2>&1 || true)"
    if grep -E '^(E|W): ' <<<"$lintian_out"; then
        fail "lintian reports errors or warnings on $(basename "$package") (above)"
    fi
done
echo "check-package: $(basename "$deb") installs bin/trackling (stripped), the menu entry, icon,"
echo "check-package: metainfo, manual page, copyright and changelog; lintian is clean"
echo "check-package: Depends: $depends"
echo "check-package: $(basename "$clideb") installs bin/trackling-cli (stripped, no display's"
echo "check-package: library), its manual page and bash completion; lintian is clean"
echo "check-package: Depends: $clidepends"
