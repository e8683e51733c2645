#!/usr/bin/env bash
# Scan benchmark: Corvane's engine with the window's result list against fping
# and nmap, on a silent /24 of the lab and on 127.0.0.0/16 (all answering).
#
#   bench/bench-scan.sh [build folder]      (root: it builds a network lab)
#
# Prints wall time, CPU time and peak memory of every run. Nothing leaves the
# lab's namespaces: the /24 is routed to the lab's peer, which drops it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build}")
measure="$build/bench/corvane-measure"
scan="$build/bench/corvane-bench-scan"
[[ -x "$measure" && -x "$scan" ]] || {
    echo "build the benchmarks first: cmake --build $build --target corvane-measure corvane-bench-scan" >&2
    exit 1
}

if [[ -z "${CORVANE_LAB:-}" ]]; then
    # 198.18.0.0/23: the lab's answering and refusing hosts lie in 198.18.0.x,
    # so 198.18.1.0/24 is silent from end to end.
    export CORVANE_LAB_HOSTS_NET=198.18.0.0/23
    exec "$root/tests/lab/run-in-lab.sh" "$0" "$build"
fi

export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
export CORVANE_CHECK_HOST=localhost

run_range() {
    local title=$1 start=$2 stop=$3 cidr=$4
    echo "== $title ($start - $stop)"
    for parallel in 1 64 256; do
        rm -f "$XDG_CONFIG_HOME/Corvane/Corvane.conf"
        "$measure" "corvane Parallel=$parallel" "$scan" "$start" "$stop" "$parallel"
    done
    if command -v fping >/dev/null; then
        "$measure" "fping -r 0 -t 200 -i 1" sh -c "fping -a -q -r 0 -t 200 -i 1 -g $cidr 2>/dev/null | wc -l"
        "$measure" "fping -r 0 -t 200 -i 0" sh -c "fping -a -q -r 0 -t 200 -i 0 -g $cidr 2>/dev/null | wc -l"
    fi
    if command -v nmap >/dev/null; then
        "$measure" "nmap -sn -PE -n" sh -c "nmap -sn -PE -n $cidr -oG - | grep -c 'Status: Up'"
    fi
}

run_range "silent /24 in the lab" 198.18.1.0 198.18.1.255 198.18.1.0/24
run_range "127.0.0.0/16, every address answers" 127.0.0.0 127.0.255.255 127.0.0.0/16
