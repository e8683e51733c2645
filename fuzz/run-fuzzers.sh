#!/usr/bin/env bash
# fuzz/run-fuzzers.sh [seconds] [--build DIR] [fuzzer...]
#
# Runs each fuzzer (default: all) for the given seconds (default 60) from a
# build configured with CORVANE_FUZZ=ON (default DIR: build-fuzz), building
# missing ones first. Reads the seeds in fuzz/corpus/<fuzzer>, keeps new inputs
# in DIR/fuzz/corpus/<fuzzer> and failing ones in DIR/fuzz/artifacts/<fuzzer>.
# Exit status 1 when any fuzzer found a failing input.
set -uo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(dirname "$source_dir")/build-fuzz"
seconds=60
names=()
while (($# > 0)); do
    case "$1" in
    --build) build="$2"; shift 2 ;;
    -h | --help) sed -n '2,8p' "$0"; exit 0 ;;
    [0-9]*) seconds="$1"; shift ;;
    *) names+=("$1"); shift ;;
    esac
done
((${#names[@]} > 0)) ||
    mapfile -t names < <(sed -n 's/^corvane_add_fuzzer(\([a-z_]*\).*/\1/p' "$source_dir/CMakeLists.txt")

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$source_dir/../tests/sanitizer/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

failed=()
for name in "${names[@]}"; do
    if [[ ! -x "$build/fuzz/$name" ]]; then
        [[ -f "$build/CMakeCache.txt" ]] || {
            echo "run-fuzzers.sh: configure first: CC=clang CXX=clang++ cmake -B $build -DCORVANE_FUZZ=ON" >&2
            exit 2
        }
        cmake --build "$build" --target "$name" -j2 >&2 || exit 2
    fi
    work="$build/fuzz/corpus/$name" artifacts="$build/fuzz/artifacts/$name" log="$build/fuzz/$name.log"
    mkdir -p "$work" "$artifacts"
    echo "== $name: $seconds s" >&2
    # -timeout: one input running this long is a hang (an endless walk, say).
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$work" "$source_dir/corpus/$name" >"$log" 2>&1
    status=$?
    grep -E '^stat::(number_of_executed_units|new_units_added)|^Done ' "$log" >&2
    if ((status != 0)); then
        failed+=("$name")
        tail -n 40 "$log" >&2
        echo "== $name FAILED (status $status); inputs kept in $artifacts" >&2
    fi
done
((${#failed[@]} == 0)) || { echo "run-fuzzers.sh: failing inputs found by: ${failed[*]}" >&2; exit 1; }
echo "run-fuzzers.sh: ${#names[@]} fuzzers, no failing input" >&2
