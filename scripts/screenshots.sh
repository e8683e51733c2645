#!/usr/bin/env bash
# The README's pictures of the real corvane: main-window.png after a names scan of
# 127.0.0.1 .. 127.0.0.20 (some made silent with nftables), ip-number-list.png, tray-menu.png.
# Needs root for its namespaces.
#   scripts/screenshots.sh build/src/app/corvane docs/screenshots
# shellcheck disable=SC2015,SC2016,SC2086
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
if [[ -z ${CORVANE_DNS_DIR:-} ]]; then # names from a private name server, in namespaces of their own
    records=(); for n in 2=gateway 3=files 5=printer 6=camera 8=mail 10=backup 12=music 15=build 16=wiki 18=phone 20=tv; do
        records+=(--record "host-record=${n#*=}.example,127.0.0.${n%=*}"); done
    exec "$here/../tests/lab/lab.sh" dns "${records[@]}" -- "$0" "$@"
fi
corvane=$(readlink -f "$1") output=$(mkdir -p "$2" && readlink -f "$2") artifacts=$2
# shellcheck source=SCRIPTDIR/../tests/e2e/desktop.sh
source "$here/../tests/e2e/desktop.sh"
snap() { import -window root -crop "$3x$4+$1+$2" +repage "$5"; } # x y w h file
need import convert compare nft
nft -f - <<<$'table inet shots { chain input { type filter hook input priority 0;\nip saddr { 127.0.0.4, 127.0.0.9, 127.0.0.13, 127.0.0.17, 127.0.0.66 } icmp type echo-reply drop\n}\n}'
ip link add corvane0 type veth peer name corvane1 && ip link set corvane0 up && ip addr add 192.0.2.10/24 dev corvane0 # the caption's address
mkdir -p "$work/home" && mount --bind "$work/home" /home # a tidy home folder for the folder list
export HOME=/home/ada XDG_CONFIG_HOME=$work/config CORVANE_CHECK_HOST=localhost
mkdir -p "$XDG_CONFIG_HOME/Corvane" "$HOME/scans"
printf '%s\n' '[Options]' Start=127.0.0.1 Stop=127.0.0.20 "Path=$HOME/scans" File=scan.log Enabled=1 Overwrite=1 \
    IP_0=127.0.0.1 'Desc_0=this computer' IP_1=127.0.0.5 'Desc_1=printer in the hall' IP_2=127.0.0.66 \
    'Desc_2=test address that stays silent' IP_3=nas.example 'Desc_3=a name: never marked' >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
desktop_start --wm
convert -size 1024x768 gradient:'#5d7f9e-#2c4257' "$work/backdrop.png" && { display -window root "$work/backdrop.png" || true; }
still() { # keeps the area "x y w h" as $2 once two pictures in a row differ in no more than a caret's pixels
    local end=$((SECONDS + 20)) n; snap $1 "$work/a.png"
    while ((SECONDS < end)); do
        sleep 0.3; snap $1 "$work/b.png"; n=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
        [[ $n =~ ^[0-9]+$ ]] && ((n <= 40)) && { convert "$work/b.png" -strip -define png:compression-level=9 "$2"; return; }
        mv "$work/b.png" "$work/a.png"
    done; fail "the picture for $2 did not settle"
}
start_corvane /p; xdotool windowactivate --sync "$window"; xdotool key shift+Tab space alt+s
wait_for 120 eval '[[ -f $HOME/scans/scan.log ]] && (($(grep -c . "$HOME/scans/scan.log") >= 16))' || fail "the scan did not finish"
still "$(frame "$window")" "$output/main-window.png"
xdotool key alt+l; list=$(wait_for 30 list_window) || fail "the IP Number List did not open"
wait_for 20 frame "$list" >/dev/null; still "$(frame "$list")" "$output/ip-number-list.png"
xdotool key Escape; wait_for 30 no_list; xdotool windowminimize "$window"
wait_for 30 tray_icon >/dev/null && click_icon 3 && wait_for 30 menu >/dev/null || fail "no tray menu"
read -r mx my mw mh <<<"$(geometry "$(menu)")"; read -r ix iy iw ih <<<"$(geometry "$(tray_icon)")"
left=$(((mx < ix ? mx : ix) - 100)) top=$((my < iy ? my : iy))
still "$left $top $(((mx + mw > ix + iw ? mx + mw : ix + iw) - left)) $(((my + mh > iy + ih ? my + mh : iy + ih) - top + 40))" "$output/tray-menu.png"
xdotool key e; end_corvane "Exit"
ls -l "$output"/*.png
