#!/usr/bin/env bash
# End to end: the real corvane on a desktop of its own (Xvfb, openbox as the
# window manager, trayer as the notification area), driven with xdotool.
#
#   tray-under-xvfb.sh <corvane> [artifact folder]
#
# It checks, with bounded polling and no fixed waits, that
#   - the window first appears centred, a little above the middle;
#   - the tray icon sits in trayer and shows its tooltip;
#   - minimising hides the window: unmapped and gone from the client list
#     (no taskbar entry);
#   - a left click on the icon brings it back shown, normal, active and
#     centred, not where it had been moved to;
#   - while the window is shown, a left click on the icon leaves it where it
#     is and a right click opens no menu;
#   - a right click while hidden opens the menu at the pointer; "r" restores;
#   - a double click while hidden brings it back once; the second click,
#     arriving while it is shown, changes nothing;
#   - minimising while the IP Number List (a modal window) is open leaves a
#     way back: the window comes back with the list above it;
#   - choosing Exit from the menu ends the program, which writes its six keys
#     and keeps the others of the settings file;
#   - SIGTERM (window shown), SIGHUP (hidden in the tray) and SIGINT (IP
#     Number List open) end the program with status 0 after the same close
#     sequence: a check box changed just before is in the settings file.
# Screenshots of the open menu (and of the screen when a step fails) go to
# the artifact folder when one is given.
#
# Nothing leaves loopback: the whole test runs in a network namespace of its
# own, and the start-up check resolves "localhost" from a private hosts file.
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
corvane=$(readlink -f "${1:?usage: tray-under-xvfb.sh <corvane> [artifact folder]}")
artifacts=${2:-}

# shellcheck source=tray-desktop.sh
source "$here/tray-desktop.sh"

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

[[ -n "$artifacts" ]] && mkdir -p "$artifacts"

fail() {
    echo "FAIL: $*"
    if [[ -n "$artifacts" && -n "${DISPLAY:-}" ]]; then
        screenshot "$artifacts/failure.png"
        echo "--- the screen at the failure: $artifacts/failure.png"
    fi
    if [[ -s "$work/corvane.log" ]]; then
        echo "--- corvane's output:"
        tail -n 40 "$work/corvane.log"
    fi
    exit 1
}

step() {
    echo "# [${SECONDS}s] $*"
}

use_private_resolver
isolate_session
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
export CORVANE_CHECK_HOST=localhost
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Corvane" "$work/logs"
settings="$XDG_CONFIG_HOME/Corvane/Corvane.conf"

# "Overwrite" is left out: closing must add it. The list keys must survive.
cat >"$settings" <<EOF
[Options]
Start=127.0.0.1
Stop=127.0.0.20
Path=$work/logs
File=tray.log
Enabled=0
IP_0=127.0.0.1
Desc_0=this computer
EOF

start_desktop || fail "the desktop did not start"

main_window() {
    xdotool search --onlyvisible --name '^Corvane ' 2>/dev/null | head -n 1
}

has_main_window() {
    [[ -n "$(main_window)" ]]
}

tray_icon() {
    local window
    for window in $(xdotool search --classname '^corvane$' 2>/dev/null); do
        if is_viewable "$window" && is_in_trayer "$window"; then
            echo "$window"
            return 0
        fi
    done
    return 1
}

has_tray_icon() {
    tray_icon >/dev/null
}

# Shown: mapped, in the client list, normal (neither iconic nor hidden).
is_shown() {
    is_viewable "$window" && is_managed "$window" && [[ "$(wm_state "$window")" == Normal ]] &&
        ! has_net_wm_state "$window" _NET_WM_STATE_HIDDEN
}

# Hidden in the tray: unmapped, withdrawn and out of the client list, so no
# taskbar shows it; merely iconified would leave it in the list.
is_hidden() {
    ! is_viewable "$window" && ! is_managed "$window" && [[ "$(wm_state "$window")" == Withdrawn ]] &&
        [[ -z "$(xdotool search --onlyvisible --name '^Corvane ' 2>/dev/null)" ]]
}

is_shown_centred() {
    is_shown && is_centred "$window"
}

is_back_centred() {
    is_shown_centred && is_active "$window"
}

describe_window() {
    local frame
    frame=$(frame_geometry "$window" 2>/dev/null) || frame="unknown"
    echo "outer frame $frame (centred would be at $(centred_position "$frame")), state $(wm_state "$window"), active $(xdotool getactivewindow 2>/dev/null || echo none)"
}

frame_at() {
    local frame
    frame=$(frame_geometry "$window") || return 1
    [[ "${frame% * *}" == "$1 $2" ]]
}

tooltip_for() {
    local tip
    for tip in $(windows_of_type corvane _NET_WM_WINDOW_TYPE_TOOLTIP); do
        [[ "$(transient_for "$tip")" == "$1" ]] && return 0
    done
    return 1
}

# Qt gives its popup menus no window type of their own: a menu is an
# override-redirect window, transient for the main window, that is no tooltip.
menus() {
    local popup
    for popup in $(xdotool search --onlyvisible --classname '^corvane$' 2>/dev/null); do
        is_override_redirect "$popup" && [[ "$(transient_for "$popup")" == "$window" ]] &&
            ! window_type "$popup" | grep -qw _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$popup"
    done
    return 0
}

# For failure messages: every viewable window of the program.
describe_popups() {
    local popup
    for popup in $(xdotool search --onlyvisible --classname '^corvane$' 2>/dev/null); do
        printf '[%s at %s, override %s, transient for %s, %s] ' "$popup" "$(client_geometry "$popup")" \
            "$(is_override_redirect "$popup" && echo yes || echo no)" "$(transient_for "$popup" || true)" \
            "$(window_type "$popup" | sed 's/.*= //')"
    done
}

has_menu() {
    [[ -n "$(menus)" ]]
}

has_no_menu() {
    [[ -z "$(menus)" ]]
}

# Moves the window's outer frame to $1 $2 and waits until it is there.
move_window() {
    local client extents l r t b
    extents=$(frame_extents "$window") || fail "the window has no frame extents"
    read -r l r t b <<<"$extents"
    # The window is moved by its client area; openbox keeps the frame round it.
    xdotool windowmove "$window" "$(($1 + l))" "$(($2 + t))"
    wait_for 20 frame_at "$1" "$2" || fail "the window did not move to $1,$2: $(describe_window)"
}

minimise() {
    xdotool windowminimize "$window"
    wait_for 20 is_hidden || fail "minimising did not hide the window: $(describe_window), viewable $(is_viewable "$window" && echo yes || echo no), managed $(is_managed "$window" && echo yes || echo no)"
}

# Sets icon, icon_x and icon_y: the tray icon's window and its middle.
find_icon() {
    icon=$(tray_icon) || fail "the tray icon is gone"
    read -r icon_x icon_y <<<"$(window_centre "$icon")"
}

# Clicks on the icon with the button $1; more arguments go to xdotool click.
click_icon() {
    find_icon
    move_pointer "$icon_x" "$icon_y"
    xdotool click "$@"
}

hover_icon() {
    find_icon
    hover_at "$icon_x" "$icon_y"
    wait_for 30 tooltip_for "$icon"
}

list_window() {
    xdotool search --onlyvisible --name '^Corvane - IP Number List$' 2>/dev/null | head -n 1
}

has_list_window() {
    [[ -n "$(list_window)" ]]
}

has_no_list_window() {
    ! has_list_window
}

# Events reach the program in order: clicking the List button and seeing the
# IP Number List open proves that every click before it has been handled.
# The list is closed again with Esc.
sync_through_list_button() {
    open_list
    close_list
}

wait_for_tray_icon() {
    wait_for 30 has_tray_icon || fail "no tray icon in trayer"
}

# Clicks the window's control at the twips position $1 $2 of its client area.
click_at_twips() {
    local cx cy cw ch
    read -r cx cy cw ch <<<"$(client_geometry "$window")"
    move_pointer "$((cx + cw * $1 / 6540))" "$((cy + ch * $2 / 5025))"
    xdotool click 1
}

# Clicks the "Enabled" box in the "Log File" frame.
click_enabled() {
    click_at_twips $((3960 + 120 + 120)) $((840 + 240 + 127))
}

open_list() {
    click_at_twips $((2040 + 427)) $((4560 + 187))
    wait_for 30 has_list_window || fail "the List button opened nothing: something (a tray menu?) took the click"
}

close_list() {
    xdotool windowactivate --sync "$(list_window)" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    wait_for 30 has_no_list_window || fail "Esc did not close the IP Number List"
}

# Minimised: iconic or hidden, and no longer viewable.
is_minimised() {
    ! is_viewable "$window" && [[ "$(wm_state "$window")" != Normal ]]
}

# Whether window $1 is stacked above window $2.
is_stacked_above() {
    xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null | tr -d ',' | awk -v upper="$(hex_id "$1")" \
        -v lower="$(hex_id "$2")" '{ for (i = 1; i <= NF; ++i) { if ($i == upper) u = i; if ($i == lower) l = i } }
        END { exit !(u && l && u > l) }'
}

is_back_with_list_above() {
    local list
    list=$(list_window)
    is_shown && [[ -n "$list" ]] && is_stacked_above "$list" "$window"
}

# Starts corvane /p and waits for its window and tray icon.
start_corvane() {
    "$corvane" /p >>"$work/corvane.log" 2>&1 &
    app_pid=$!
    wait_for 60 has_main_window || fail "the main window did not appear"
    window=$(main_window)
    wait_for 20 frame_extents "$window" >/dev/null || fail "openbox put no frame round the window"
    wait_for 20 is_centred "$window" || fail "the window did not appear centred: $(describe_window)"
    wait_for_tray_icon
}

# Waits for corvane to end and fails unless it ended with status 0 and took
# its tray icon with it. $1 says what ended it.
expect_clean_end() {
    wait_for 30 has_exited "$app_pid" || fail "$1 did not end corvane"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    ((status == 0)) || fail "after $1 corvane ended with status $status"
    has_tray_icon && fail "the tray icon outlived the program"
    return 0
}

setting() {
    sed -n "s/^$1=//p" "$settings"
}

start=$SECONDS
step "start corvane /p"
start_corvane
initial_frame=$(frame_geometry "$window")

step "the icon's tooltip"
hover_icon || fail "hovering over the tray icon showed no tooltip"
if [[ -n "$artifacts" ]]; then
    tip=$(windows_of_type corvane _NET_WM_WINDOW_TYPE_TOOLTIP | head -n 1)
    [[ -n "$tip" ]] && screenshot_area "$artifacts/tray-tooltip.png" "$(client_geometry "$tip")" 2
fi

step "move away, minimise: hidden, only the tray icon is left"
move_window 20 300
minimise
wait_for_tray_icon

step "left click on the icon: back, normal, active, centred"
click_icon 1
wait_for 30 is_back_centred || fail "a left click did not bring the window back centred: $(describe_window)"
[[ "$(frame_geometry "$window")" == "$initial_frame" ]] ||
    fail "the window came back at $(frame_geometry "$window"), it first appeared at $initial_frame"

step "tray clicks while the window is shown do nothing"
move_window 40 400
click_icon 1
click_icon 3
sync_through_list_button
frame_at 40 400 || fail "a tray click moved the shown window: $(describe_window)"
is_shown || fail "a tray click changed the shown window: $(describe_window)"
has_menu && fail "a right click on the tray icon opened a menu while the window is shown"

step "right click while hidden: the menu at the pointer; r restores"
minimise
click_icon 3
wait_for 30 has_menu || fail "a right click on the tray icon opened no menu; windows: $(describe_popups)"
is_hidden || fail "the window showed itself with the menu: $(describe_window)"
menu=$(menus | head -n 1)
read -r px py <<<"$(pointer_position)"
read -r mx my mw mh <<<"$(client_geometry "$menu")"
((px >= mx - 2 && px <= mx + mw + 2 && py >= my - 2 && py <= my + mh + 2)) ||
    fail "the menu ($mx,$my ${mw}x$mh) is not at the pointer ($px,$py)"
xdotool key r
wait_for 30 is_back_centred || fail "the menu's Restore did not bring the window back centred: $(describe_window)"
wait_for 10 has_no_menu || fail "the menu stayed open after Restore"

step "double click while hidden: back once, the second click changes nothing"
move_window 30 350
minimise
click_icon --repeat 2 --delay 80 1
wait_for 30 is_back_centred || fail "a double click did not bring the window back centred: $(describe_window)"
sync_through_list_button
is_shown_centred || fail "the window did not stay back after the double click: $(describe_window)"

step "minimise with the IP Number List open: back, with the list above the window"
open_list
xdotool windowminimize "$window"
wait_for 20 is_minimised || fail "the window did not minimise: $(describe_window)"
if is_managed "$window"; then
    # Still in the client list: what a taskbar does, ask for it back.
    xdotool windowactivate "$window"
else
    click_icon 1
fi
wait_for 30 is_back_with_list_above ||
    fail "minimised with the IP Number List open, the window did not come back with the list above it: $(describe_window), list $(list_window)"
close_list
sync_through_list_button

step "right click while hidden, then Exit"
move_window 60 420
minimise
click_icon 3
wait_for 30 has_menu || fail "a right click on the tray icon opened no menu; windows: $(describe_popups)"
menu=$(menus | head -n 1)
read -r mx my mw mh <<<"$(client_geometry "$menu")"
if [[ -n "$artifacts" ]]; then
    screenshot "$artifacts/tray-menu-screen.png"
fi
# Two items, Restore above Exit: the middle of the lower half is Exit.
move_pointer "$((mx + mw / 2))" "$((my + mh * 3 / 4))"
xdotool click 1
expect_clean_end "choosing Exit"

for expected in "Start=127.0.0.1" "Stop=127.0.0.20" "Path=$work/logs" "File=tray.log" \
    "Enabled=0" "Overwrite=1" "IP_0=127.0.0.1" "Desc_0=this computer"; do
    key=${expected%%=*}
    [[ "$(setting "$key")" == "${expected#*=}" ]] ||
        fail "after Exit the settings hold $key=$(setting "$key"), not ${expected#*=}"
done
for signal in TERM HUP INT; do
    step "SIG$signal ends corvane through the close sequence"
    start_corvane
    before=$(setting Enabled)
    click_enabled
    # The IP Number List opening proves the click has been handled.
    open_list
    case $signal in
    TERM) close_list ;;
    HUP)
        close_list
        minimise
        ;;
    INT) ;; # the list stays open
    esac
    kill -s "$signal" "$app_pid"
    expect_clean_end "SIG$signal"
    [[ "$(setting Enabled)" == "$((1 - before))" ]] ||
        fail "after SIG$signal the settings hold Enabled=$(setting Enabled), the box was changed from $before"
    [[ "$(setting IP_0)" == 127.0.0.1 ]] || fail "after SIG$signal the list's IP_0 is gone"
done
echo "PASS: window and tray behaviour under openbox and trayer ($((SECONDS - start)) s)"
