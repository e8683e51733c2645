#!/usr/bin/env bash
# Takes the README's screenshots of the real corvane on a desktop of its own
# (Xvfb, openbox, trayer):
#
#   tray-screenshots.sh <corvane> <output folder>
#
#   main-window.png     after a scan of 127.0.0.1 .. 127.0.0.20 with names
#   ip-number-list.png  the IP Number List with a few rows and their marks
#   tray-menu.png       the tray icon's menu
#
# Everything happens in a network namespace of its own: the scan and the list
# probe loopback addresses only, some of which are made silent with nftables;
# the names come from a private hosts file; the caption's own IP Number is a
# documentation address on a veth pair that exists only in that namespace.
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
corvane=$(readlink -f "${1:?usage: tray-screenshots.sh <corvane> <output folder>}")
output=${2:?usage: tray-screenshots.sh <corvane> <output folder>}
mkdir -p "$output"
output=$(readlink -f "$output")

# shellcheck source=tray-desktop.sh
source "$here/tray-desktop.sh"

for tool in import convert compare; do
    desktop_tools+=("$tool")
done
if tool=$(missing_desktop_tool); then
    echo "SKIPPED: $tool is missing"
    exit 77
fi
enter_private_network "$here/$(basename "$0")" "$@"

work=$(mktemp -d)
app_pid=""
cleanup() {
    if [[ -n "$app_pid" ]]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    stop_desktop
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [[ -n "${DISPLAY:-}" ]] && screenshot "$work/failure.png" && cp "$work/failure.png" "$output/failure.png" 2>/dev/null
    [[ -s "$work/corvane.log" ]] && tail -n 40 "$work/corvane.log"
    exit 1
}

cat >"$work/names" <<'EOF'
127.0.0.2	gateway.example
127.0.0.3	files.example
127.0.0.5	printer.example
127.0.0.6	camera.example
127.0.0.8	mail.example
127.0.0.10	backup.example
127.0.0.12	music.example
127.0.0.15	build.example
127.0.0.16	wiki.example
127.0.0.18	phone.example
127.0.0.20	tv.example
EOF
use_private_resolver "$work/names"

silent=(127.0.0.4 127.0.0.9 127.0.0.13 127.0.0.17 127.0.0.66)
if command -v nft >/dev/null 2>&1; then
    nft add table inet screenshots
    nft add chain inet screenshots input '{ type filter hook input priority 0; }'
    for address in "${silent[@]}"; do
        nft add rule inet screenshots input ip saddr "$address" icmp type echo-reply drop
    done
else
    echo "note: without nft every loopback address answers"
    silent=()
fi
if ip link add corvane0 type veth peer name corvane1 2>/dev/null; then
    for link in corvane0 corvane1; do
        echo 1 >"/proc/sys/net/ipv6/conf/$link/disable_ipv6" 2>/dev/null || true
        ip link set "$link" up
    done
    ip addr add 192.0.2.10/24 dev corvane0
fi

isolate_session
# A tidy home folder for the folder list to show, over /home in this mount
# namespace only.
mkdir -p "$work/home"
mount --bind "$work/home" /home
export HOME=/home/ada
export XDG_CONFIG_HOME="$work/config"
export CORVANE_CHECK_HOST=localhost
logs="$HOME/scans"
mkdir -p "$XDG_CONFIG_HOME/Corvane" "$logs"
cat >"$XDG_CONFIG_HOME/Corvane/Corvane.conf" <<EOF
[Options]
Start=127.0.0.1
Stop=127.0.0.20
Path=$logs
File=scan.log
Enabled=1
Overwrite=1
IP_0=127.0.0.1
Desc_0=this computer
IP_1=127.0.0.5
Desc_1=printer in the hall
IP_2=127.0.0.66
Desc_2=test address that stays silent
IP_3=nas.example
Desc_3=a name: never marked
EOF

start_desktop || fail "the desktop did not start"
# A quiet backdrop instead of black, for the menu's picture.
convert -size 1024x768 gradient:'#5d7f9e-#2c4257' "$work/backdrop.png"
if command -v display >/dev/null 2>&1; then
    display -window root "$work/backdrop.png" 2>/dev/null || true
fi

main_window() {
    xdotool search --onlyvisible --name '^Corvane ' 2>/dev/null | head -n 1
}

has_main_window() {
    [[ -n "$(main_window)" ]]
}

list_window() {
    xdotool search --onlyvisible --name '^Corvane - IP Number List$' 2>/dev/null | head -n 1
}

has_list_window() {
    [[ -n "$(list_window)" ]]
}

log_lines() {
    if [[ -f "$logs/scan.log" ]]; then
        grep -c $'\r$' "$logs/scan.log" || true
    else
        echo 0
    fi
}

has_log_lines() {
    (($(log_lines) >= $1))
}

# Waits until two pictures of the area "x y w h" in a row differ in no more
# than a text caret's worth of pixels, and keeps the last as $2.
take_when_still() {
    local area=$1 target=$2 previous="$work/previous.png" current="$work/current.png"
    local deadline=$((SECONDS + 20)) differing
    screenshot_area "$previous" "$area"
    while ((SECONDS < deadline)); do
        sleep 0.3
        screenshot_area "$current" "$area"
        differing=$(compare -metric AE "$previous" "$current" null: 2>&1 || true)
        if [[ "$differing" =~ ^[0-9]+$ ]] && ((differing <= 40)); then
            convert "$current" -strip -define png:compression-level=9 "$target"
            return 0
        fi
        mv "$current" "$previous"
    done
    fail "the picture for $target did not settle"
}

"$corvane" /p >"$work/corvane.log" 2>&1 &
app_pid=$!
wait_for 60 has_main_window || fail "the main window did not appear"
window=$(main_window)
xdotool windowactivate --sync "$window" 2>/dev/null || true

# The focus starts in the start field; one step back is "Domain Name".
xdotool key --clearmodifiers shift+Tab space alt+s
answering=0
for ((i = 1; i <= 20; ++i)); do
    [[ " ${silent[*]} " == *" 127.0.0.$i "* ]] || answering=$((answering + 1))
done
wait_for 120 has_log_lines "$answering" || fail "the scan logged $(log_lines) lines, not $answering"
take_when_still "$(frame_geometry "$window")" "$output/main-window.png"

xdotool key --clearmodifiers alt+l
wait_for 30 has_list_window || fail "the IP Number List did not open"
list=$(list_window)
wait_for 20 frame_extents "$list" >/dev/null || fail "the list window got no frame"
take_when_still "$(frame_geometry "$list")" "$output/ip-number-list.png"
xdotool key --clearmodifiers Escape
wait_for 30 bash -c '! xdotool search --onlyvisible --name "^Corvane - IP Number List$" >/dev/null' ||
    fail "the IP Number List did not close"

xdotool windowminimize "$window"
wait_for 30 bash -c "! xwininfo -id $window | grep -q IsViewable" || fail "minimising did not hide the window"
icon=""
find_icon() {
    local candidate
    for candidate in $(xdotool search --classname '^corvane$' 2>/dev/null); do
        if is_viewable "$candidate" && is_in_trayer "$candidate"; then
            icon=$candidate
            return 0
        fi
    done
    return 1
}
wait_for 30 find_icon || fail "no tray icon"
read -r x y <<<"$(window_centre "$icon")"
move_pointer "$x" "$y"
xdotool click 3
menu_window() {
    local popup
    for popup in $(xdotool search --onlyvisible --classname '^corvane$' 2>/dev/null); do
        is_override_redirect "$popup" && [[ "$(transient_for "$popup")" == "$window" ]] &&
            ! window_type "$popup" | grep -qw _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$popup" && return 0
    done
    return 1
}
wait_for 30 menu_window >/dev/null || fail "no tray menu"
menu=$(menu_window)
# The menu and the icon beside it, with a little of the panel round them.
read -r mx my mw mh <<<"$(client_geometry "$menu")"
read -r ix iy iw ih <<<"$(client_geometry "$icon")"
left=$((mx < ix ? mx : ix)) top=$((my < iy ? my : iy))
right=$((mx + mw > ix + iw ? mx + mw : ix + iw)) bottom=$((my + mh > iy + ih ? my + mh : iy + ih))
left=$((left - 100))
take_when_still "$left $top $((right - left)) $((bottom - top + 40))" "$output/tray-menu.png"

xdotool key --clearmodifiers e
wait_for 30 has_exited "$app_pid" || fail "Exit from the menu did not end corvane"
wait "$app_pid" || true
app_pid=""
ls -l "$output"/main-window.png "$output"/ip-number-list.png "$output"/tray-menu.png
