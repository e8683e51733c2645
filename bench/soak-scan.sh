#!/usr/bin/env bash
# Soak run: 20 back-to-back scans of a lab /24 with names (dnsmasq makes up a
# name for every address) through the main window, printing memory, open
# descriptors and threads after each run. Flat columns are the goal.
#
#   bench/soak-scan.sh [build folder] [runs]      (root: it builds a network lab)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build}")
runs=${2:-20}
soak="$build/bench/corvane-bench-soak"
[[ -x "$soak" ]] || {
    echo "build it first: cmake --build $build --target corvane-bench-soak" >&2
    exit 1
}

if [[ -z "${CORVANE_LAB:-}" ]]; then
    exec "$root/tests/lab/run-in-lab.sh" "$root/tests/lab/dns-run.sh" --keep-netns \
        --record "synth-domain=lab.test,198.18.1.0/24,host-" -- "$0" "$build" "$runs"
fi

export XDG_CONFIG_HOME QT_QPA_PLATFORM=offscreen
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
net=${CORVANE_LAB_NET%/*}
echo "== $runs scans of ${net} to ${net%.*}.255 with names"
"$soak" "$net" "${net%.*}.255" "$runs"
