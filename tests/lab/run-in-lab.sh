#!/usr/bin/env bash
# Runs one command (a test executable) inside the scanner namespace of a
# network lab of its own, built for this run and torn down after it however it
# ends. The command gets the lab's variables (see README.md) in its environment.
#
#   run-in-lab.sh <command> [args...]
#
# Read from the environment (CTest sets them per test):
#   CORVANE_LAB_HOSTS_NET          --net of the lab (default 198.18.1.0/24)
#   CORVANE_LAB_PING_GROUP_RANGE   net.ipv4.ping_group_range of the scanner namespace
#   CORVANE_LAB_EXTRA              a script run as "SCRIPT up" / "SCRIPT down" (see corvane-lab.sh)
#   CORVANE_LAB_RUN_AS             run the command as this user (name or uid), with no
#                                  capabilities and a fresh HOME and XDG_CONFIG_HOME; the
#                                  command is a program, run from a copy in that HOME, so
#                                  the user need not reach the build tree; so are the
#                                  flood helper named by CORVANE_PINGFLOOD and the leak
#                                  suppressions named by LSAN_OPTIONS
#   CORVANE_LAB_DROP_CAPS          capabilities the command can never have, comma-separated
#                                  without the "cap_" prefix (net_raw: root without raw sockets)
#
# Exit status: the command's; 77 (skipped) without root.
set -uo pipefail

if ((EUID != 0)); then
    echo "SKIPPED: the network lab needs root (network namespaces)"
    exit 77
fi
(($# > 0)) || {
    echo "usage: run-in-lab.sh <command> [args...]" >&2
    exit 2
}

lab_tool="$(dirname "$(readlink -f "$0")")/corvane-lab.sh"
# Labs left behind by runs that were killed outright.
"$lab_tool" gc || true

name="cvl-$$-$RANDOM"
scratch=""
child=""

cleanup() {
    if [[ -n "$child" ]]; then
        kill -TERM "$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    "$lab_tool" down "$name"
    [[ -n "$scratch" ]] && rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

up_options=()
[[ -n "${CORVANE_LAB_HOSTS_NET:-}" ]] && up_options+=(--net "$CORVANE_LAB_HOSTS_NET")
[[ -n "${CORVANE_LAB_PING_GROUP_RANGE:-}" ]] &&
    up_options+=(--ping-group-range "$CORVANE_LAB_PING_GROUP_RANGE")
[[ -n "${CORVANE_LAB_EXTRA:-}" ]] && up_options+=(--extra "$CORVANE_LAB_EXTRA")

if ! "$lab_tool" up "$name" "${up_options[@]+"${up_options[@]}"}"; then
    echo "run-in-lab.sh: the lab could not be built" >&2
    exit 1
fi
set -a
# shellcheck disable=SC1090
source <("$lab_tool" env "$name")
set +a

command=(ip netns exec "$name-scan")
privileges=()
if [[ -n "${CORVANE_LAB_RUN_AS:-}" ]]; then
    uid=$(id -u "$CORVANE_LAB_RUN_AS") && gid=$(id -g "$CORVANE_LAB_RUN_AS") || exit 1
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-lab-home.XXXXXX")
    mkdir -p "$scratch/config"
    # The build tree may lie where the user cannot read (a home folder of mode 700).
    program="$scratch/$(basename "$1")"
    cp "$(command -v "$1")" "$program" || exit 1
    shift
    set -- "$program" "$@"
    if [[ -n "${CORVANE_PINGFLOOD:-}" ]]; then
        cp "$CORVANE_PINGFLOOD" "$scratch/" || exit 1
        CORVANE_PINGFLOOD="$scratch/$(basename "$CORVANE_PINGFLOOD")"
    fi
    if [[ "${LSAN_OPTIONS:-}" =~ (^|:)suppressions=([^:]+) ]]; then
        suppressions="${BASH_REMATCH[2]}"
        cp "$suppressions" "$scratch/lsan.supp" || exit 1
        LSAN_OPTIONS="${LSAN_OPTIONS/"suppressions=$suppressions"/suppressions=$scratch/lsan.supp}"
    fi
    chown -R "$uid:$gid" "$scratch"
    export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config"
    privileges+=(--reuid="$uid" --regid="$gid" --clear-groups --inh-caps=-all)
fi
# Out of the bounding set, so that not even root gets them back at exec.
[[ -n "${CORVANE_LAB_DROP_CAPS:-}" ]] &&
    privileges+=(--bounding-set="-${CORVANE_LAB_DROP_CAPS//,/,-}")
((${#privileges[@]} > 0)) && command+=(setpriv "${privileges[@]}")

# In the background, so that a signal to this script ends the command too.
"${command[@]}" "$@" &
child=$!
wait "$child"
status=$?
child=""
exit "$status"
