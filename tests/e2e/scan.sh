#!/usr/bin/env bash
# scan.sh <corvane> [artifact folder: the screen at a failure]: the real corvane in the lab's scanner namespace
# against dnsmasq (lab.sh run lab.sh dns --keep-netns). A scan from the command line over answering, silent and
# refused hosts logs exactly the answering ones in order, and Copy puts them on the X clipboard; a names scan
# started by keyboard logs them with their names; closed mid-scan while the name server hangs, the window goes at
# once, the settings are written and it ends.
# shellcheck disable=SC2015
set -euo pipefail
corvane=$(readlink -f "${1:?usage: scan.sh <corvane> [artifact folder]}") artifacts=${2:-}
# shellcheck source=desktop.sh
source "$(dirname "$(readlink -f "$0")")/desktop.sh"
[[ -n ${CORVANE_LAB:-} && -n ${CORVANE_DNS_DIR:-} ]] || { echo "SKIPPED: runs inside lab.sh run and lab.sh dns"; exit 77; }
desktop_start
export CORVANE_CHECK_HOST=host-1.lab.test
"$CORVANE_LAB_TOOL" answer "$CORVANE_LAB" 198.18.1.120
answering=(198.18.1.{1..10} 198.18.1.120)
stamp='[01][0-9]/[0-3][0-9]/[0-9][0-9] [01][0-9]:[0-5][0-9]:[0-5][0-9] [ap]m'
settings() { # start stop; the log in $work/logs/scan.log
    mkdir -p "$XDG_CONFIG_HOME/Corvane" "$work/logs"; rm -f "$work/logs/scan.log"
    printf '%s\n' '[Options]' "Start=$1" "Stop=$2" "Path=$work/logs" File=scan.log Enabled=1 Overwrite=1 >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
}
logged() { [[ -f $work/logs/scan.log ]] && (($(grep -c $'\r$' "$work/logs/scan.log") >= ${#answering[@]})); }
names_scan() { xdotool windowfocus --sync "$window"; xdotool key shift+Tab space alt+s; } # "Domain Name" precedes the start field
close() { xdotool windowfocus --sync "$window"; xdotool key Escape; }
check_log() { # names? Each line: address, 3 spaces, name, 3 spaces, time stamp, CR LF
    local got i a n; mapfile -t got <"$work/logs/scan.log"
    ((${#got[@]} == ${#answering[@]})) || fail "the log has ${#got[@]} lines, not ${#answering[@]}"
    for i in "${!answering[@]}"; do
        a=${answering[i]} n=""; [[ $1 == no || ! $a =~ \.(1|2|3|120)$ ]] || n=host-${a##*.}.lab.test
        [[ ${got[i]} =~ ^${a//./\\.}\ {3}${n//./\\.}\ {3}${stamp}$'\r'$ ]] || fail "log line $i is '${got[i]}', not $a/$n"
    done
}
step "a scan from the command line"
export XDG_CONFIG_HOME=$work/config; settings 198.18.1.1 198.18.1.120
start_corvane scan; wait_for 120 logged || fail "the scan logged too little"; check_log no
step "Copy, read back by another X client"
need xclip; clip() { xclip -selection clipboard -o 2>/dev/null | tr -d '\r'; }
wait_for 20 eval 'xdotool windowfocus --sync "$window" key alt+c; [[ $(clip) == *"IP Numbers" ]]' || fail "Copy put nothing on the clipboard"
mapfile -t got < <(clip); want=("${answering[@]/%/$'\t'}")
[[ ${got[0]} =~ ^[01][0-9]/[0-3][0-9]/[0-9][0-9]\ [01][0-9]:[0-5][0-9]\ [ap]m$ && -z ${got[1]}${got[13]} && ${got[14]} == "11 IP Numbers" && ${#got[@]} == 15 ]] || fail "copied: ${got[*]}"
for i in "${!want[@]}"; do [[ ${got[i + 2]} == "${want[i]}"* ]] || fail "copied line $((i + 2)) is '${got[i + 2]}'"; done
close; end_corvane Esc 20
step "names by keyboard"
settings 198.18.1.1 198.18.1.120; start_corvane /p; names_scan
wait_for 120 logged || fail "the names scan logged too little"; check_log yes; close; end_corvane Esc 20
step "closed mid-scan while the name server hangs"
export XDG_CONFIG_HOME=$work/config-close CORVANE_CHECK_HOST=localhost; settings 127.0.3.1 127.0.255.255
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:2\n' >"$CORVANE_DNS_RESOLV_CONF" # bind-mounted: rewritten in place
dnsmasq=$(<"$CORVANE_DNS_DIR/dnsmasq.pid"); kill -STOP "$dnsmasq"
waiting() { awk '$2 == "0100007F:0035" && $5 !~ /:00000000$/ { found = 1 } END { exit !found }' /proc/net/udp; } # questions unread
start_corvane /p; names_scan; wait_for 20 waiting || fail "the scan asked the name server nothing"; close; closed=$SECONDS
wait_for 5 eval '! main_window >/dev/null' || fail "Esc did not take the window away"
end_corvane Esc 30; kill -CONT "$dnsmasq"
echo "corvane ended $((SECONDS - closed)) s after Esc (the resolver waits up to 10 s)"
[[ $(setting Start) == 127.0.3.1 && $(setting Stop) == 127.0.255.255 && $(setting Path) == "$work/logs" ]] || fail "settings: $(<"$XDG_CONFIG_HOME/Corvane/Corvane.conf")"
[[ -f $work/logs/scan.log && ! -s $work/logs/scan.log ]] || fail "the log is not empty"
echo "PASS: scans with names and the log in the lab, closed mid-scan (${SECONDS} s)"
