#!/usr/bin/env bash
# fuzz/run-fuzzers.sh [seconds (60)] [--build DIR (build-fuzz)] [fuzzer... (all)]: runs each fuzzer,
# building missing ones, from fuzz/corpus/<fuzzer>; new inputs go to DIR/fuzz/corpus/<fuzzer>, failing
# ones to DIR/fuzz/artifacts/<fuzzer>. Exit status 1 when a fuzzer found a failing input.
set -uo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$source_dir/../build-fuzz" seconds=60 names=() failed=()
while (($# > 0)); do
    case "$1" in --build) build="$2" && shift ;; [0-9]*) seconds="$1" ;; *) names+=("$1") ;; esac
    shift
done
((${#names[@]} > 0)) || mapfile -t names < <(sed -n 's/^corvane_add_fuzzer(\([a-z_]*\).*/\1/p' "$source_dir/CMakeLists.txt")
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1}" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$source_dir/../tests/sanitizer/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for name in "${names[@]}"; do
    [[ -x "$build/fuzz/$name" ]] || cmake --build "$build" --target "$name" -j2 >&2 || exit 2
    artifacts="$build/fuzz/artifacts/$name" log="$build/fuzz/$name.log"
    mkdir -p "$build/fuzz/corpus/$name" "$artifacts" && echo "== $name: $seconds s" >&2
    # -timeout: an input running this long is a hang (an endless walk, say).
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" \
        "$build/fuzz/corpus/$name" "$source_dir/corpus/$name" >"$log" 2>&1 ||
        { failed+=("$name") && tail -n 40 "$log" >&2 && echo "== $name FAILED; inputs in $artifacts" >&2; }
    grep '^Done ' "$log" >&2
done
((${#failed[@]} == 0)) || { echo "run-fuzzers.sh: failing inputs found by: ${failed[*]}" >&2 && exit 1; }
echo "run-fuzzers.sh: ${#names[@]} fuzzers, no failing input" >&2
