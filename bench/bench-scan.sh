#!/usr/bin/env bash
# Scan benchmark: the real program against fping -i 0 on the same work, in one
# run, inside the network lab (root):
#
#   bench/bench-scan.sh [build folder] [runs]      (default: build, 3 runs)
#
# Corvane (offscreen, a private settings file naming the range, the log on,
# started with an argument so that it scans at once) is timed from its launch to
# the moment its log got its last line, the range's last address; fping
# (-a -q -r 0 -t 200 -i 0 -g) until it ends. Each work runs [runs] times; the
# medians and their ratio are printed, with what each found and Corvane's peak
# memory (VmHWM). Then the kernel's limit for echo requests from one socket (a
# tight sendmmsg loop) and Corvane's send rate as a fraction of it.
#
# Targets are 127.0.0.0/16 and the lab's hosts net 198.18.0.0/16, routed to the
# lab's peer namespace, which drops every request except for the last one,
# 198.18.255.254, and refuses hosts 198.18.0.64 to .95. Every sender here is
# bounded in count and time.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build}")
runs=${2:-3}
corvane=$build/src/app/corvane
timer=$build/bench/corvane-bench-time
sendlimit=$build/bench/corvane-bench-sendlimit
for program in "$corvane" "$timer" "$sendlimit"; do
    [[ -x $program ]] || {
        echo "build first: cmake --build $build --target corvane corvane-bench-time corvane-bench-sendlimit" >&2
        exit 1
    }
done
command -v fping >/dev/null || { echo "fping is needed (apt-get install fping)" >&2; exit 1; }

if [[ -z ${CORVANE_LAB:-} ]]; then
    export CORVANE_LAB_HOSTS_NET=198.18.0.0/16
    exec "$root/tests/lab/run-in-lab.sh" "$0" "$build" "$runs"
fi

# The hosts 1 to 10 the lab makes answer fall silent; only the last address answers.
mapfile -t first_hosts < <(for i in $(seq 1 10); do echo "198.18.0.$i"; done)
"$CORVANE_LAB_TOOL" silence "$CORVANE_LAB" "${first_hosts[@]}"
"$CORVANE_LAB_TOOL" answer "$CORVANE_LAB" 198.18.255.254

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

# corvane_once START STOP PARALLEL: prints "wall peak found".
corvane_once() {
    local home=$scratch/corvane
    rm -rf "$home" && mkdir -p "$home/Corvane" "$home/log"
    printf '[Options]\nStart=%s\nStop=%s\nPath=%s\nFile=ipnums.txt\nEnabled=1\nOverwrite=1\nParallel=%s\n' \
        "$1" "$2" "$home/log" "$3" >"$home/Corvane/Corvane.conf"
    local out
    out=$(HOME=$home XDG_CONFIG_HOME=$home QT_QPA_PLATFORM=offscreen CORVANE_CHECK_HOST=localhost \
        "$timer" log "$home/log/ipnums.txt" "$2" 60 -- "$corvane" scan 2>/dev/null)
    [[ $out == *"exit 0" ]] || { echo "corvane did not finish: $out" >&2; exit 1; }
    read -r _ wall _ peak _ <<<"$out"
    echo "$wall $peak $(grep -c . "$home/log/ipnums.txt")"
}

# fping_once START STOP: prints "wall found".
fping_once() {
    local out
    out=$("$timer" exit 60 -- sh -c "fping -a -q -r 0 -t 200 -i 0 -g $1 $2 >$scratch/fping.txt 2>/dev/null; true")
    read -r _ wall _ <<<"$out"
    echo "$wall $(grep -c . "$scratch/fping.txt")"
}

# work TITLE START STOP PARALLEL: medians of both, their ratio. Sets $corvane_wall.
work() {
    local title=$1 start=$2 stop=$3 parallel=$4 i cw=() cp=() cf=() fw=() ff=()
    for ((i = 0; i < runs; ++i)); do
        read -r w p f <<<"$(corvane_once "$start" "$stop" "$parallel")"
        cw+=("$w") cp+=("$p") cf+=("$f")
        read -r w f <<<"$(fping_once "$start" "$stop")"
        fw+=("$w") ff+=("$f")
    done
    corvane_wall=$(median "${cw[@]}")
    local fping_wall; fping_wall=$(median "${fw[@]}")
    printf '%-56s %8.3f s %7.1f MB %6d found | %8.3f s %6d found | %5.2f\n' "$title, Parallel $parallel" \
        "$corvane_wall" "$(median "${cp[@]}")" "$(median "${cf[@]}")" "$fping_wall" "$(median "${ff[@]}")" \
        "$(echo "$corvane_wall / $fping_wall" | bc -l)"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo "build: $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt"), $(git -C "$root" describe --always --dirty 2>/dev/null || echo '?')"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), medians of $runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-56s %33s | %22s | %5s\n' work "Corvane (launch to last log line)" "fping -i 0" ratio
work "127.0.0.0/16, every address answers" 127.0.0.0 127.0.255.255 256
work "silent /24 (.0-.254), .254 answers" 198.18.255.0 198.18.255.254 256
work "silent routed /16 (to .255.254), .255.254 answers" 198.18.0.0 198.18.255.254 4096
work "silent routed /16 (to .255.254), .255.254 answers" 198.18.0.0 198.18.255.254 65536
silent16=$corvane_wall
one=()
for ((i = 0; i < runs; ++i)); do
    read -r w _ <<<"$(corvane_once 198.18.255.254 198.18.255.254 1)"
    one+=("$w")
done
start_up=$(median "${one[@]}")

echo
limit=$("$sendlimit" 198.18.0.0 65536 3)
echo "one socket's limit, sendmmsg of 64: $limit"
limit_rate=$(sed -n 's/.*: \([0-9]*\) per second.*/\1/p' <<<"$limit")
# The silent /16 at Parallel 65536 costs start-up (a scan of one answering
# address), sending, and the last request's 200 ms wait.
sending=$(echo "$silent16 - $start_up - 0.2" | bc -l)
printf 'Corvane: start-up %.3f s, 65535 requests sent in about %.3f s: %.0f per second, %.2f of the limit\n' \
    "$start_up" "$sending" "$(echo "65535 / $sending" | bc -l)" "$(echo "65535 / $sending / $limit_rate" | bc -l)"
