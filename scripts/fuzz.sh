#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for a while on a seed corpus that the build generates.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/setup.sh" clang libclang-rt-14-dev
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DTRACKLING_FUZZ=ON
fi
cmake --build "$build" --parallel "$(nproc)"

work="$build/corpus"
mkdir -p "$work/seeds"
"$build/tests/fuzz/fuzz_seeds" "$work/seeds"
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
    name="$(basename "$target")"
    [ "$name" = fuzz_seeds ] && continue
    [ -f "$target" ] && [ -x "$target" ] || continue
    mkdir -p "$work/$name"
    echo "== $name: ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
            -print_final_stats=1 -artifact_prefix="$work/$name-" \
            "$work/$name" "$work/seeds" 2>"$work/$name.log"; then
        status=1
        echo "FAILED: $name (see $work/$name.log)"
        tail -n 40 "$work/$name.log"
    else
        grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE|cov:' "$work/$name.log" | tail -n 2
    fi
done
exit $status
