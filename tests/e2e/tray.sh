#!/usr/bin/env bash
# tray.sh <corvane> [artifact folder: the menu's picture, the screen at a failure]: the real corvane in
# trayer under openbox, driven with xdotool, inside lab.sh dns ("localhost" from a private hosts file).
# shellcheck disable=SC2015,SC2016
set -euo pipefail
corvane=$(readlink -f "${1:?usage: tray.sh <corvane> [artifact folder]}") artifacts=${2:-}
# shellcheck source=desktop.sh
source "$(dirname "$(readlink -f "$0")")/desktop.sh"
[[ -n ${CORVANE_DNS_DIR:-} ]] || { echo "SKIPPED: runs inside lab.sh dns"; exit 77; }
desktop_start --wm
export HOME=$work/home XDG_CONFIG_HOME=$work/config CORVANE_CHECK_HOST=localhost
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Corvane" "$work/logs" # no "Overwrite": closing must add it; the list's keys must survive
printf '%s\n' '[Options]' Start=127.0.0.1 Stop=127.0.0.20 "Path=$work/logs" File=tray.log Enabled=0 \
    IP_0=127.0.0.1 'Desc_0=this computer' >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
describe() { echo "frame $(frame "$window"), state $(wm_state "$window"), active $(xdotool getactivewindow 2>/dev/null)"; }
shown() { viewable "$window" && managed "$window" && [[ $(wm_state "$window") == Normal ]]; }
back() { shown && centred "$window" && [[ $(xdotool getactivewindow 2>/dev/null) == "$window" ]]; }
# Hidden in the tray: unmapped, withdrawn and out of the client list (no taskbar entry).
hidden() { ! viewable "$window" && ! managed "$window" && [[ $(wm_state "$window") == Withdrawn ]]; }
at() { [[ $(frame "$window") == "$1 $2 "* ]]; }
move() {
    local l r t b; read -r l r t b <<<"$(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.* = //; s/,//g')"
    xdotool windowmove "$window" $(($1 + l)) $(($2 + t)); wait_for 20 at "$1" "$2" || fail "the window did not move: $(describe)"
}
minimise() { xdotool windowminimize "$window"; wait_for 20 hidden || fail "minimising did not hide the window: $(describe)"; }
twips() { local x y w h; read -r x y w h <<<"$(geometry "$window")"; point $((x + w * $1 / 6540)) $((y + h * $2 / 5025)); xdotool click 1; }
open_list() { twips 2467 4747; wait_for 30 list_window >/dev/null || fail "the List button opened nothing"; }
close_list() { xdotool windowactivate --sync "$(list_window)" 2>/dev/null || true; xdotool key Escape; wait_for 30 no_list || fail "Esc left the list open"; }
sync_events() { open_list; close_list; } # events are handled in order: every click before the list's was handled
open_menu() { click_icon 3; wait_for 30 menu >/dev/null || fail "a right click on the hidden icon opened no menu"; read -r mx my mw mh <<<"$(geometry "$(menu)")"; }
start() { start_corvane /p; wait_for 20 centred "$window" || fail "the window did not appear centred: $(describe)"; wait_for 30 tray_icon >/dev/null || fail "no tray icon in trayer"; }

step "start: centred, with the icon's tooltip"
start; first=$(frame "$window")
read -r x y w h <<<"$(geometry "$(tray_icon)")"; point $((x + w / 2 - 1)) $((y + h / 2)); point $((x + w / 2)) $((y + h / 2))
wait_for 30 tooltip >/dev/null || fail "hovering over the tray icon showed no tooltip"
step "moved away and minimised: a left click on the icon brings it back centred and active"
move 20 300; minimise; click_icon 1
wait_for 30 back || fail "a left click did not bring the window back centred: $(describe)"
[[ $(frame "$window") == "$first" ]] || fail "back at $(frame "$window"), first at $first"
step "clicks on the icon while the window is shown change nothing"
move 40 400; click_icon 1; click_icon 3; sync_events
at 40 400 && shown || fail "a tray click changed the shown window: $(describe)"
! menu >/dev/null || fail "a right click opened a menu while the window is shown"
step "a middle click while hidden does nothing; the menu at the pointer; r restores"
minimise; click_icon 2; open_menu; hidden || fail "the window showed itself with the menu"
read -r px py <<<"$(pointer)"; ((px >= mx - 2 && px <= mx + mw + 2 && py >= my - 2 && py <= my + mh + 2)) || fail "the menu is not at the pointer"
xdotool key r; wait_for 30 back || fail "Restore did not bring the window back centred: $(describe)"
step "double click while hidden: back once"
move 30 350; minimise; click_icon --repeat 2 --delay 80 1
wait_for 30 back || fail "a double click did not bring the window back: $(describe)"
sync_events; shown && centred "$window" || fail "the second click changed the window: $(describe)"
step "minimised with the IP Number List open: back, the list above the window"
open_list; xdotool windowminimize "$window"
wait_for 20 eval '! viewable "$window"' || fail "the window did not minimise"
if managed "$window"; then xdotool windowactivate "$window"; else click_icon 1; fi
above() { xprop -root _NET_CLIENT_LIST_STACKING | tr -d , | grep -q "$(printf '0x%x' "$window").* $(printf '0x%x' "$(list_window)")"; }
wait_for 30 eval 'shown && above' || fail "the window did not come back with the list above it: $(describe)"
close_list
step "Exit from the menu"
minimise; open_menu
[[ -z $artifacts ]] || { mkdir -p "$artifacts"; import -window root "$artifacts/tray-menu-screen.png"; }
point $((mx + mw / 2)) $((my + mh * 3 / 4)); xdotool click 1 # Restore above Exit
end_corvane "choosing Exit"
! tray_icon >/dev/null || fail "the tray icon outlived the program"
for kv in Start=127.0.0.1 Stop=127.0.0.20 "Path=$work/logs" File=tray.log Enabled=0 Overwrite=1 IP_0=127.0.0.1 'Desc_0=this computer'; do
    [[ $(setting "${kv%%=*}") == "${kv#*=}" ]] || fail "after Exit the settings hold ${kv%%=*}=$(setting "${kv%%=*}")"
done
for signal in TERM HUP INT; do
    step "SIG$signal (window shown, hidden, list open) ends corvane through the close sequence"
    start; before=$(setting Enabled)
    twips 4200 1207; open_list # the "Enabled" box; the list opening proves the click was handled
    [[ $signal == INT ]] || close_list; [[ $signal != HUP ]] || minimise
    kill -s "$signal" "$app_pid"; end_corvane "SIG$signal"
    [[ $(setting Enabled) == $((1 - before)) && $(setting IP_0) == 127.0.0.1 ]] || fail "after SIG$signal: Enabled=$(setting Enabled), IP_0=$(setting IP_0)"
done
echo "PASS: window and tray under openbox and trayer (${SECONDS} s)"
