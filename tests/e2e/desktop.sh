#!/usr/bin/env bash
# A desktop of its own: Xvfb (1024x768, 96 dpi), with --wm openbox and trayer too. Sourced, it makes
# $work, cleans up at exit and keeps the screen of a failure in $artifacts; "desktop.sh <command>" runs
# the command on a bare Xvfb. Inside lab.sh's mount namespace no other X server can take the display.
# shellcheck disable=SC2034,SC2015,SC2086,SC2119,SC2120,SC2154,SC2155
set -euo pipefail
work=$(mktemp -d) artifacts=${artifacts:-} app_pid="" desktop_pids=()
need() { local t; for t; do command -v "$t" >/dev/null || { echo "SKIPPED: $t is missing"; exit 77; }; done; }
wait_for() { local end=$((SECONDS + $1)); shift; until "$@"; do ((SECONDS < end)) || return 1; sleep 0.1; done; }
exited() { ! kill -0 "$1" 2>/dev/null; }
step() { echo "# [${SECONDS}s] $*"; }
fail() {
    echo "FAIL: $*" && [[ ! -s $work/corvane.log ]] || tail -n 40 "$work/corvane.log"
    [[ -z $artifacts || -z ${DISPLAY:-} ]] || { mkdir -p "$artifacts" && import -window root "$artifacts/failure.png" && echo "screen: $artifacts/failure.png"; } || true
    exit 1
}
cleanup() {
    local pid; set +e; [[ -z $app_pid ]] || kill -KILL "$app_pid"
    for pid in "${desktop_pids[@]}"; do kill "$pid"; wait_for 10 exited "$pid" || kill -KILL "$pid"; done 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
desktop_start() { # [--wm]
    need Xvfb xdotool xwininfo xprop xdpyinfo
    [[ -z ${CORVANE_DNS_DIR:-} ]] || { [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix; mount -t tmpfs -o mode=1777 corvane-x11 /tmp/.X11-unix; }
    Xvfb -displayfd 3 -nolock -noreset -screen 0 1024x768x24 -dpi 96 -nolisten tcp ${xvfb_options:-} 3>"$work/display" >"$work/xvfb.log" 2>&1 </dev/null & desktop_pids=($!)
    wait_for 30 grep -q '^[0-9]' "$work/display" || fail "Xvfb did not start: $(tail -n 5 "$work/xvfb.log")"
    # No session bus, desktop theme or scaling: the tray icon goes to trayer through the X11 protocol.
    export DISPLAY=":$(<"$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
    unset WAYLAND_DISPLAY SESSION_MANAGER XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE \
        QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    [[ ${1:-} == --wm ]] || return 0; need openbox trayer
    openbox --sm-disable >"$work/openbox.log" 2>&1 </dev/null & desktop_pids=($! "${desktop_pids[@]}")
    wait_for 30 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' 2>/dev/null || fail "openbox did not start: $(tail -n 3 "$work/openbox.log")"
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true --transparent false >"$work/trayer.log" 2>&1 </dev/null & desktop_pids=($! "${desktop_pids[@]}")
    wait_for 30 visible '^panel$' --classname >/dev/null || fail "trayer did not start: $(tail -n 3 "$work/trayer.log")"
}
# Windows (decimal ids, as xdotool prints them).
visible() { xdotool search --onlyvisible "${2:---name}" "$1" 2>/dev/null | head -n 1 | grep .; }
main_window() { visible '^Corvane '; }
list_window() { visible '^Corvane - IP Number List$'; }
no_list() { ! list_window >/dev/null; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/^[[:space:]]*window state: //p' | grep . || echo Withdrawn; }
managed() { xprop -root _NET_CLIENT_LIST | grep -qw "$(printf '0x%x' "$1")"; } # what taskbars show
geometry() { xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /^  Width/{w=$2} /^  Height/{h=$2} END{if(w)print x,y,w,h}'; }
frame() { # the outer window, frame and caption included: "x y width height"
    local x y w h l r t b e; e=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ,)
    [[ -n $e ]] && read -r x y w h <<<"$(geometry "$1")" && read -r l r t b <<<"$e" && echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
centred() { # left at (screen - width) / 2, top at (screen - height) * 0.9 / 2, within rounding
    local f; f=$(frame "$1") && awk -v f="$f" 'BEGIN { split(f, a, " "); dx = a[1] - (1024 - a[3]) / 2; dy = a[2] - (768 - a[4]) * 0.45
        exit !(dx >= -3 && dx <= 2 && dy >= -3 && dy <= 2) }'
}
in_trayer() { # whether a parent of the window is trayer's
    local w=$1 i; for ((i = 0; i < 12; ++i)); do
        w=$(xwininfo -children -id "$w" 2>/dev/null | sed -n 's/^  Parent window id: \(0x[0-9a-f]*\).*/\1/p') && ((w)) || return 1
        xprop -id "$w" WM_CLASS | grep -q '"trayer"' && return 0
    done; return 1
}
tray_icon() { local w; for w in $(xdotool search --classname '^corvane$'); do viewable "$w" && in_trayer "$w" && echo "$w" && return; done; return 1; }
wtype() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null; }
tooltip() { local w; for w in $(xdotool search --onlyvisible --classname '^corvane$'); do [[ $(wtype "$w") == *TOOLTIP* ]] && echo "$w" && return; done; return 1; }
menu() { # Qt's popup menus have no type of their own: override-redirect, transient for $window, no tooltip
    local w; for w in $(xdotool search --onlyvisible --classname '^corvane$'); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' && [[ $(wtype "$w") != *TOOLTIP* &&
            $(printf '%d' "$(xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -o '0x[0-9a-f]*')") == "$window" ]] && echo "$w" && return
    done; return 1
}
pointer() { xdotool getmouselocation --shell | sed -n 's/^[XY]=//p' | paste -sd ' '; }
point() { [[ $(pointer) == "$1 $2" ]] || xdotool mousemove --sync "$1" "$2"; } # --sync waits long when already there
click_icon() { # xdotool click arguments
    local icon x y w h; icon=$(tray_icon) || fail "the tray icon is gone"; read -r x y w h <<<"$(geometry "$icon")"
    point $((x + w / 2)) $((y + h / 2)); xdotool click "$@"
}
start_corvane() { # arguments; sets window
    "$corvane" "$@" >>"$work/corvane.log" 2>&1 & app_pid=$!
    window=$(wait_for 60 main_window) || fail "the main window did not appear"
}
end_corvane() { # waits for corvane to end with status 0: $1 says what ended it
    wait_for "${2:-30}" exited "$app_pid" || fail "$1 did not end corvane"
    local status=0; wait "$app_pid" || status=$?; app_pid=""
    ((status == 0)) || fail "after $1 corvane ended with status $status"
}
setting() { sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/Corvane/Corvane.conf"; }
[[ ${BASH_SOURCE[0]} != "$0" ]] || { need ${XVFB_REQUIRES:-}; desktop_start; status=0; timeout 240 "$@" || status=$?; exit "$status"; }
