#!/usr/bin/env bash
# End to end: the real corvane, inside the lab's scanner namespace, with a
# private hosts file and DNS server (dns-run.sh), under its own Xvfb.
#
#   scan-in-lab.sh <corvane>
#
# For "Parallel" 1 and the default it
#   1. starts corvane with a scan argument: the range 198.18.1.1 .. 198.18.1.120
#      holds answering, silent, admin-prohibited and host-unreachable hosts;
#      the log must hold exactly the answering addresses in address order;
#      Esc closes the window and the six keys must be written back;
#   2. starts it again without a scan, ticks "Domain Name" and presses Start by
#      keyboard; the log must hold the answering addresses with their names.
# Both parallel settings must give the same log lines, time stamps aside.
set -euo pipefail

corvane=$(readlink -f "${1:?usage: scan-in-lab.sh <corvane>}")
if [[ -z "${CORVANE_LAB:-}" || -z "${CORVANE_DNS_HOSTS:-}" ]]; then
    echo "SKIPPED: runs inside run-in-lab.sh and dns-run.sh"
    exit 77
fi
for tool in Xvfb xdotool xdpyinfo; do
    command -v "$tool" >/dev/null || {
        echo "SKIPPED: $tool is missing"
        exit 77
    }
done

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [[ -s "$work/corvane.log" ]]; then
        echo "--- corvane's output:"
        tail -n 40 "$work/corvane.log"
    fi
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# An X server of our own, in a mount namespace of our own: its socket folder is
# private, so no other test's X server (in another network or PID namespace,
# where lock files and abstract sockets mean other things) can collide with it.
if [[ -z "${CORVANE_E2E_ISOLATED:-}" ]]; then
    rm -rf "$work"
    trap - EXIT
    CORVANE_E2E_ISOLATED=1 exec unshare --mount --propagation private "$0" "$@"
fi
# Made here only when missing, with the mode X servers outside need.
[[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix
mount -t tmpfs -o mode=1777 corvane-x11 /tmp/.X11-unix
display=71
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -nolock >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 xdpyinfo -display ":$display" >/dev/null 2>&1 || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
export CORVANE_CHECK_HOST=host-1.lab.test

"$CORVANE_LAB_TOOL" answer "$CORVANE_LAB" 198.18.1.120

answering=(198.18.1.{1..10} 198.18.1.120)
declare -A names=([198.18.1.1]=host-1.lab.test [198.18.1.2]=host-2.lab.test
    [198.18.1.3]=host-3.lab.test [198.18.1.5]=host-5.lab.test
    [198.18.1.7]=host-7.lab.test [198.18.1.120]=host-120.lab.test)
stamp='[01][0-9]/[0-3][0-9]/[0-9][0-9] [01][0-9]:[0-5][0-9]:[0-5][0-9] [ap]m'

write_settings() {
    local parallel=$1
    mkdir -p "$XDG_CONFIG_HOME/Corvane"
    {
        echo "[Options]"
        echo "Start=198.18.1.1"
        echo "Stop=198.18.1.120"
        echo "Path=$work/logs"
        echo "File=scan.log"
        echo "Enabled=1"
        echo "Overwrite=1"
        if [[ -n "$parallel" ]]; then
            echo "Parallel=$parallel"
        fi
    } >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
}

log_lines() {
    if [[ -f "$work/logs/scan.log" ]]; then
        grep -c $'\r$' "$work/logs/scan.log" || true
    else
        echo 0
    fi
}

main_window() {
    xdotool search --onlyvisible --name '^Corvane ' 2>/dev/null | head -n 1
}

has_main_window() {
    [[ -n "$(main_window)" ]]
}

has_log_lines() {
    (($(log_lines) >= $1))
}

has_exited() {
    ! kill -0 "$1" 2>/dev/null
}

start_corvane() {
    "$corvane" "$@" >>"$work/corvane.log" 2>&1 &
    app_pid=$!
    wait_for 20 has_main_window || fail "the main window did not appear"
    window=$(main_window)
    xdotool windowfocus --sync "$window" || true
}

close_with_esc() {
    xdotool windowfocus --sync "$window" || true
    xdotool key --clearmodifiers Escape
    wait_for 20 has_exited "$app_pid" || fail "Esc did not close corvane"
    wait "$app_pid" || true
    app_pid=""
}

setting() {
    sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/Corvane/Corvane.conf"
}

# Every log line: address, 3 spaces, name (empty without names), 3 spaces,
# time stamp, CR LF; in address order, the answering addresses only.
check_log() {
    local with_names=$1 got i a n re
    mapfile -t got <"$work/logs/scan.log"
    ((${#got[@]} == ${#answering[@]})) || fail "the log has ${#got[@]} lines, not ${#answering[@]}"
    for i in "${!answering[@]}"; do
        a=${answering[$i]}
        n=""
        [[ "$with_names" == yes ]] && n=${names[$a]:-}
        re="^${a//./\\.}   ${n//./\\.}   ${stamp}"$'\r''$'
        [[ "${got[$i]}" =~ $re ]] || fail "log line $i is '${got[$i]}', expected $a/$n"
    done
}

run_case() {
    local parallel=$1 tag=${1:-default}
    export XDG_CONFIG_HOME="$work/config-$tag"
    rm -rf "$work/logs"
    mkdir -p "$work/logs"
    write_settings "$parallel"

    echo "# Parallel=$tag: scan from the command line"
    start_corvane scan
    wait_for 120 has_log_lines "${#answering[@]}" || fail "the scan logged $(log_lines) lines"
    # The last address answers, so its line marks the end of the run.
    check_log no
    close_with_esc
    [[ "$(setting Start)" == 198.18.1.120 ]] || fail "Start=$(setting Start)"
    [[ "$(setting Stop)" == 198.18.1.120 ]] || fail "Stop=$(setting Stop)"
    [[ "$(setting Path)" == "$work/logs" ]] || fail "Path=$(setting Path)"
    [[ "$(setting File)" == scan.log ]] || fail "File=$(setting File)"
    [[ "$(setting Enabled)" == 1 && "$(setting Overwrite)" == 1 ]] || fail "check box keys"
    sed -E "s#$stamp##" "$work/logs/scan.log" >"$work/ping-$tag.txt"

    echo "# Parallel=$tag: names by keyboard"
    sed -i 's/^Start=.*/Start=198.18.1.1/' "$XDG_CONFIG_HOME/Corvane/Corvane.conf"
    rm -f "$work/logs/scan.log"
    start_corvane /p
    # The focus starts in the start field; one step back is "Domain Name".
    xdotool key --clearmodifiers shift+Tab space alt+s
    wait_for 120 has_log_lines "${#answering[@]}" || fail "the names scan logged $(log_lines) lines"
    check_log yes
    close_with_esc
    sed -E "s#$stamp##" "$work/logs/scan.log" >"$work/names-$tag.txt"
}

run_case 1
run_case ""
cmp "$work/ping-1.txt" "$work/ping-default.txt" || fail "Parallel 1 and the default logged differently"
cmp "$work/names-1.txt" "$work/names-default.txt" || fail "Parallel 1 and the default logged names differently"
echo "PASS: both scans logged the same lines with Parallel 1 and the default"
