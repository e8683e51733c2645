#!/usr/bin/env bash
# The real corvane closed in the middle of a scan with names while the name
# server hangs. The window must go at once, the close sequence must write the
# settings, and the process must end within the resolver's own time-out (the
# lookups already asked), not after the lookups of the whole range.
#
#   close-during-names-scan.sh <corvane>
#
# Runs inside tests/lab/dns-run.sh (private namespaces and dnsmasq), under an
# Xvfb of its own; every address of 127.0.0.0/8 answers there.
set -euo pipefail

corvane=$(readlink -f "${1:?usage: close-during-names-scan.sh <corvane>}")
if [[ -z "${CORVANE_DNS_DIR:-}" ]]; then
    echo "SKIPPED: runs inside tests/lab/dns-run.sh"
    exit 77
fi
for tool in Xvfb xdotool xdpyinfo; do
    command -v "$tool" >/dev/null || {
        echo "SKIPPED: $tool is missing"
        exit 77
    }
done

# glibc's own defaults: each lookup waits 5 s, twice, for a server that hangs.
resolver_wait=10
exit_bound=$((3 * resolver_wait))

work=$(mktemp -d)
dnsmasq_pid=$(cat "$CORVANE_DNS_DIR/dnsmasq.pid")
xvfb_pid=""
app_pid=""
cleanup() {
    kill -CONT "$dnsmasq_pid" 2>/dev/null || true
    [[ -n "$app_pid" ]] && kill -KILL "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [[ -s "$work/corvane.log" ]] && tail -n 40 "$work/corvane.log"
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# dns-run.sh gave us a mount namespace of our own: a private X socket folder
# keeps other tests' X servers (other network and PID namespaces, where lock
# files and abstract sockets mean other things) from taking the display.
mkdir -p /tmp/.X11-unix
mount -t tmpfs -o mode=1777 corvane-x11 /tmp/.X11-unix
display=99
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -nolock >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 xdpyinfo -display ":$display" >/dev/null 2>&1 || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb CORVANE_CHECK_HOST=localhost
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Corvane" "$work/logs"
cat >"$XDG_CONFIG_HOME/Corvane/Corvane.conf" <<CONF
[Options]
Start=127.0.3.1
Stop=127.0.255.255
Path=$work/logs
File=ipnums.txt
Enabled=1
Overwrite=1
CONF

# The file is bind-mounted: rewritten in place, never replaced.
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:2\n' >"$CORVANE_DNS_RESOLV_CONF"
kill -STOP "$dnsmasq_pid"

setting() {
    sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/Corvane/Corvane.conf"
}
main_window() {
    xdotool search --onlyvisible --name '^Corvane ' 2>/dev/null | head -n 1
}
has_main_window() { [[ -n "$(main_window)" ]]; }
has_no_main_window() { [[ -z "$(main_window)" ]]; }
has_exited() { ! kill -0 "$app_pid" 2>/dev/null; }
# Questions waiting in the stopped dnsmasq's socket (UDP 127.0.0.1:53).
questions_waiting() {
    local slot local_address remote state queues rest
    while read -r slot local_address remote state queues rest; do
        [[ "$local_address" == 0100007F:0035 ]] && ((16#${queues#*:} > 0)) && return 0
    done </proc/net/udp
    return 1
}

"$corvane" /p >"$work/corvane.log" 2>&1 &
app_pid=$!
wait_for 20 has_main_window || fail "the main window did not appear"
window=$(main_window)
xdotool windowfocus --sync "$window" || true
# The focus starts in the start field; one step back is "Domain Name". Then Start.
xdotool key --clearmodifiers shift+Tab space alt+s
wait_for 20 questions_waiting || fail "the scan asked the name server nothing"

xdotool windowfocus --sync "$window" || true
closed_at=$SECONDS
xdotool key --clearmodifiers Escape
wait_for 5 has_no_main_window || fail "Esc did not take the window away"
wait_for "$exit_bound" has_exited ||
    fail "corvane was still running $exit_bound s after its window closed"
status=0
wait "$app_pid" || status=$?
app_pid=""
echo "corvane ended $((SECONDS - closed_at)) s after Esc (the resolver waits up to ${resolver_wait} s)"
((status == 0)) || fail "corvane ended with status $status"

# Nothing was handled: the first address waits for its name.
[[ "$(setting Start)" == 127.0.3.1 ]] || fail "Start=$(setting Start)"
[[ "$(setting Stop)" == 127.0.255.255 ]] || fail "Stop=$(setting Stop)"
[[ "$(setting Path)" == "$work/logs" ]] || fail "Path=$(setting Path)"
[[ -f "$work/logs/ipnums.txt" && ! -s "$work/logs/ipnums.txt" ]] || fail "the log is not empty"
echo "PASS: closed mid-scan, settings written, process ended"
