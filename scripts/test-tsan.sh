#!/usr/bin/env bash
# Builds the tests of the code that runs on more than one thread (the block walk and its worker,
# the journal, the folder read ahead, the preview player's opening, trackling-cli) with
# ThreadSanitizer into build-tsan/ and runs them. Any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
export BUILD_DIR="${TSAN_BUILD_DIR:-$root/build-tsan}"
tests=(tst_journal tst_id3v2door tst_tagsfromnames tst_id3v1fromid3v2 tst_rename test_playlist
       test_folderbrowser test_commands test_faults test_preview tst_cli)
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTRACKLING_TSAN=ON -DTRACKLING_BUILD_BENCH=OFF
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target "${tests[@]}"
# Qt, GLib and GStreamer are not built with ThreadSanitizer: the locks they hand data over with
# (Qt's futex mutex, its thread pool's semaphores) are invisible to it, so the memory calls made
# inside them (memcpy, malloc, realloc) are not checked (ignore_noninstrumented_modules); every
# load and store of our own code still is.
export TSAN_OPTIONS="halt_on_error=1:ignore_noninstrumented_modules=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$root/scripts/tsan.supp"
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 900 -R "^($(IFS='|'; echo "${tests[*]}"))\$"
