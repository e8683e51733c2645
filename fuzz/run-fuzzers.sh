#!/usr/bin/env bash
# Runs Corvane's fuzzers, one after the other, each for a given time.
#
#   fuzz/run-fuzzers.sh [seconds] [--build DIR] [--seconds N] [fuzzer...]
#
# seconds: per fuzzer (default 60). DIR: a build configured with
# CORVANE_FUZZ=ON (default: build-fuzz at the top of the tree); the fuzzers
# are built there first when they are missing. Without names, every fuzzer
# found in DIR/fuzz runs. New inputs go to DIR/fuzz/corpus/<fuzzer>, crashes
# and hangs to DIR/fuzz/artifacts/<fuzzer>/; the committed seeds in
# fuzz/corpus/<fuzzer> are read, never written. Exit status 1 when any
# fuzzer found a failing input.
set -uo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$(dirname "$source_dir")"
build="$top/build-fuzz"
seconds=60
names=()

while (($# > 0)); do
    case "$1" in
    --build) build="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
    [0-9]*) seconds="$1"; shift ;;
    *) names+=("$1"); shift ;;
    esac
done

if ((${#names[@]} == 0)); then
    mapfile -t names < <(sed -n 's/^corvane_add_fuzzer(\([a-z_0-9]*\).*/\1/p' "$source_dir/CMakeLists.txt")
fi

missing=()
for name in "${names[@]}"; do
    [[ -x "$build/fuzz/$name" ]] || missing+=("$name")
done
if ((${#missing[@]} > 0)); then
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        echo "run-fuzzers.sh: $build is not configured; run" >&2
        echo "  CC=clang CXX=clang++ cmake -S $top -B $build -DCORVANE_FUZZ=ON" >&2
        exit 2
    fi
    for name in "${missing[@]}"; do
        cmake --build "$build" --target "$name" -j2 >&2 || exit 2
    done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

failed=()
for name in "${names[@]}"; do
    work="$build/fuzz/corpus/$name"
    artifacts="$build/fuzz/artifacts/$name"
    seeds="$source_dir/corpus/$name"
    mkdir -p "$work" "$artifacts" "$seeds"
    echo "== $name: $seconds s" >&2
    log="$build/fuzz/$name.log"
    # -timeout: one input taking this long counts as a hang (an endless walk, say).
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1
    status=$?
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)|^Done ' "$log" >&2
    if ((status != 0)); then
        failed+=("$name")
        tail -n 40 "$log" >&2
        echo "== $name FAILED (status $status); inputs kept in $artifacts" >&2
    fi
done

if ((${#failed[@]} > 0)); then
    echo "run-fuzzers.sh: failing inputs found by: ${failed[*]}" >&2
    exit 1
fi
echo "run-fuzzers.sh: ${#names[@]} fuzzers, no failing input" >&2
