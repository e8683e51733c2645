# shellcheck shell=bash disable=SC2154 # "work" is set by the caller
# A small desktop of its own for the window and tray tests: Xvfb on a free
# display, openbox as the window manager and trayer as the notification area,
# plus helpers that read windows through xwininfo, xprop and xdotool.
#
# Sourced, not run. The caller first runs itself again through
# enter_private_network, then sets "work" (a scratch folder), calls
# use_private_resolver and start_desktop, and calls stop_desktop when it ends.
# Window ids are handled as decimal numbers, as xdotool prints them.

desktop_tools=(Xvfb openbox trayer xdotool xwininfo xprop xdpyinfo unshare ip mount)

# Runs the command line given (the calling script and its arguments) again in
# a network namespace of its own, where only loopback exists, and a mount
# namespace of its own for the resolver's files and the X server's sockets;
# returns at once when already there. As root, or else in a user namespace
# where the kernel allows one.
enter_private_network() {
    [[ -n "${TRAY_PRIVATE_NETWORK:-}" ]] && return 0
    local namespaces=(--net --mount --propagation private)
    if ((EUID == 0)) && unshare "${namespaces[@]}" true 2>/dev/null; then
        :
    elif unshare --user --map-root-user "${namespaces[@]}" true 2>/dev/null; then
        namespaces=(--user --map-root-user "${namespaces[@]}")
    else
        echo "SKIPPED: no private network namespace can be made here"
        exit 77
    fi
    TRAY_PRIVATE_NETWORK=1 exec unshare "${namespaces[@]}" -- "$@"
}

# Brings loopback up and points the resolver at files in $work: a hosts file
# with localhost and the lines of the file $1 (if given), "files dns", and a
# name server on 127.0.0.1 where nothing listens, so every other name fails at
# once without a packet leaving loopback.
# shellcheck disable=SC2120
use_private_resolver() {
    ip link set lo up
    printf '127.0.0.1\tlocalhost\n' >"$work/hosts"
    [[ -n "${1:-}" ]] && cat -- "$1" >>"$work/hosts"
    printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$work/resolv.conf"
    printf 'hosts: files dns\n' >"$work/nsswitch.conf"
    local file dir
    for file in hosts resolv.conf nsswitch.conf; do
        mount --bind "$work/$file" "/etc/$file"
    done
    # A name service cache daemon would answer from outside the namespace.
    for dir in /run/nscd /var/run/nscd /var/db/nscd; do
        [[ -d "$dir" ]] && mount -t tmpfs none "$dir"
    done
    return 0
}

# Prints the first tool of desktop_tools that is missing; false when none is.
missing_desktop_tool() {
    local tool
    for tool in "${desktop_tools[@]}"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$tool"
            return 0
        fi
    done
    return 1
}

# Waits up to $1 seconds for the command after it to succeed, polling.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

has_exited() {
    ! kill -0 "$1" 2>/dev/null
}

# Keeps the programs under test away from the session they were started from:
# no session bus (the tray icon must go to trayer through the X11 tray
# protocol, not to a desktop's notifier service), no session manager, no
# desktop theme or scaling.
isolate_session() {
    unset WAYLAND_DISPLAY SESSION_MANAGER XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP \
        DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID QT_QPA_PLATFORMTHEME \
        QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR \
        QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb
}

xvfb_pid=""
openbox_pid=""
trayer_pid=""

display_ready() {
    [[ -s "$work/display" ]] && xdpyinfo -display ":$(<"$work/display")" >/dev/null 2>&1
}

window_manager_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

trayer_ready() {
    [[ -n "$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null)" ]]
}

# Starts Xvfb (1024 x 768, 96 dots per inch), openbox and trayer, each waited
# for. Sets DISPLAY. False, with the reason on stderr, when one does not come.
start_desktop() {
    # The server's socket folder is private to this mount namespace and its
    # abstract socket to this network namespace, so no other test's server,
    # whatever namespaces it runs in, can collide with it or take its display.
    # Made here only when missing, with the mode X servers outside need.
    [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix
    mount -t tmpfs -o mode=1777 tray-x11 /tmp/.X11-unix
    Xvfb -displayfd 3 -nolock -noreset -screen 0 1024x768x24 -dpi 96 -nolisten tcp \
        3>"$work/display" >"$work/xvfb.log" 2>&1 </dev/null &
    xvfb_pid=$!
    if ! wait_for 30 display_ready; then
        echo "Xvfb did not start: $(tail -n 5 "$work/xvfb.log")" >&2
        return 1
    fi
    DISPLAY=":$(<"$work/display")"
    export DISPLAY

    openbox --sm-disable >"$work/openbox.log" 2>&1 </dev/null &
    openbox_pid=$!
    if ! wait_for 30 window_manager_ready; then
        echo "openbox did not start: $(tail -n 5 "$work/openbox.log")" >&2
        return 1
    fi

    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false >"$work/trayer.log" 2>&1 </dev/null &
    trayer_pid=$!
    if ! wait_for 30 trayer_ready; then
        echo "trayer did not start: $(tail -n 5 "$work/trayer.log")" >&2
        return 1
    fi
}

stop_desktop() {
    local pid
    for pid in "$trayer_pid" "$openbox_pid" "$xvfb_pid"; do
        [[ -n "$pid" ]] || continue
        kill "$pid" 2>/dev/null || true
        # Xvfb removes its lock file only when it ends by itself.
        wait_for 10 has_exited "$pid" || kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    trayer_pid=""
    openbox_pid=""
    xvfb_pid=""
}

# --- Reading windows ------------------------------------------------------

hex_id() {
    printf '0x%x' "$1"
}

# "width height" of the screen.
screen_size() {
    xwininfo -root | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w, h }'
}

# "x y width height" of the window itself, in root coordinates.
client_geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF }
        /^  Width:/ { w = $2 }
        /^  Height:/ { h = $2 }
        END { if (w != "") print x, y, w, h }'
}

# "left right top bottom" of the frame the window manager put round it;
# false while it has not said.
frame_extents() {
    local extents
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/^_NET_FRAME_EXTENTS(CARDINAL) = //p')
    [[ -n "$extents" ]] || return 1
    echo "${extents//,/}"
}

# "x y width height" of the outer window: frame and caption included.
frame_geometry() {
    local client extents
    client=$(client_geometry "$1") && [[ -n "$client" ]] || return 1
    extents=$(frame_extents "$1") || return 1
    read -r x y w h <<<"$client"
    read -r l r t b <<<"$extents"
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

is_override_redirect() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Override Redirect State: yes'
}

is_viewable() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# "Normal", "Iconic" or "Withdrawn" (also when the property is gone).
wm_state() {
    local state
    state=$(xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/^[[:space:]]*window state: //p')
    echo "${state:-Withdrawn}"
}

# Whether the window is in the window manager's client list, which is what
# taskbars show.
is_managed() {
    xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qw -- "$(hex_id "$1")"
}

has_net_wm_state() {
    xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -qw -- "$2"
}

is_active() {
    [[ "$(xdotool getactivewindow 2>/dev/null)" == "$1" ]]
}

window_type() {
    xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null
}

# The window this one is transient for, decimal; empty when none.
transient_for() {
    local parent
    parent=$(xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-fA-F]*\).*/\1/p')
    [[ -n "$parent" ]] && printf '%d\n' "$parent"
}

parent_window() {
    local parent
    parent=$(xwininfo -children -id "$1" 2>/dev/null | sed -n 's/^  Parent window id: \(0x[0-9a-fA-F]*\).*/\1/p')
    [[ -n "$parent" ]] && printf '%d\n' "$parent"
}

# Whether the window sits inside trayer's panel.
is_in_trayer() {
    local window=$1 depth
    for ((depth = 0; depth < 12; ++depth)); do
        window=$(parent_window "$window") || return 1
        ((window != 0)) || return 1
        xprop -id "$window" WM_CLASS 2>/dev/null | grep -q '"trayer"' && return 0
    done
    return 1
}

# Viewable windows of the class $1 whose window type is $2 (for instance
# _NET_WM_WINDOW_TYPE_TOOLTIP), one a line.
windows_of_type() {
    local window
    for window in $(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null); do
        window_type "$window" | grep -qw -- "$2" && echo "$window"
    done
    return 0
}

# "x y" of the pointer.
pointer_position() {
    xdotool getmouselocation --shell | sed -n 's/^[XY]=//p' | tr '\n' ' ' | sed 's/ $//'
    echo
}

# Moves the pointer to $1 $2 and waits until it is there. (xdotool's own
# --sync waits many seconds when the pointer is there already.)
move_pointer() {
    [[ "$(pointer_position)" == "$1 $2" ]] && return 0
    xdotool mousemove --sync "$1" "$2"
}

# Moves the pointer onto $1 $2 from one pixel beside it, so that the window
# below sees it arrive and rest there (for tooltips).
hover_at() {
    move_pointer "$(($1 - 1))" "$2"
    move_pointer "$1" "$2"
}

# "x y" of the middle of a window.
window_centre() {
    client_geometry "$1" | awk '{ printf "%d %d\n", $1 + $3 / 2, $2 + $4 / 2 }'
}

# Whether the outer window sits where centring puts it: left at (screen width
# - width) / 2 and top at (screen height - height) * 0.9 / 2, allowing $2
# pixels for rounding.
is_centred() {
    local frame
    frame=$(frame_geometry "$1") || return 1
    awk -v frame="$frame" -v screen="$(screen_size)" -v slack="${2:-2}" 'BEGIN {
        split(frame, f, " "); split(screen, s, " ")
        left = (s[1] - f[3]) / 2; top = (s[2] - f[4]) * 0.9 / 2
        dx = f[1] - left; dy = f[2] - top
        exit !(dx >= -slack - 1 && dx <= slack && dy >= -slack - 1 && dy <= slack)
    }'
}

# "expected x y" for a window of the outer size in $1, for messages.
centred_position() {
    awk -v frame="$1" -v screen="$(screen_size)" 'BEGIN {
        split(frame, f, " "); split(screen, s, " ")
        printf "%.1f %.1f\n", (s[1] - f[3]) / 2, (s[2] - f[4]) * 0.9 / 2
    }'
}

# Saves the screen as $1 when ImageMagick's import is there.
screenshot() {
    command -v import >/dev/null 2>&1 || return 0
    import -window root "$1" 2>/dev/null || true
}

# Saves the part of the screen given as "x y width height" in $2 as $1,
# widened by $3 pixels on each side.
screenshot_area() {
    command -v import >/dev/null 2>&1 || return 0
    local margin=${3:-0} x y w h
    read -r x y w h <<<"$2"
    x=$((x - margin)) y=$((y - margin)) w=$((w + 2 * margin)) h=$((h + 2 * margin))
    ((x < 0)) && x=0
    ((y < 0)) && y=0
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1" 2>/dev/null || true
}
