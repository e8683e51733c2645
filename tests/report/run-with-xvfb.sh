#!/bin/sh
# Runs a command on a private Xvfb display that Xvfb picks itself (-displayfd),
# with Qt on its X11 platform; stops that Xvfb afterwards. Exits 77 (skipped)
# when Xvfb or a tool named in XVFB_REQUIRES is missing.
set -u

for tool in Xvfb ${XVFB_REQUIRES:-}; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d) || exit 1
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!

# Xvfb writes the display number once it accepts clients; wait at most 10 s.
tries=0
until grep -q '^[0-9][0-9]*$' "$work/display" 2>/dev/null; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "Xvfb did not start:"
        cat "$work/xvfb.log"
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "Xvfb gave no display number within 10 s"
        exit 1
    fi
    sleep 0.1
done

DISPLAY=":$(cat "$work/display")"
QT_QPA_PLATFORM=xcb
export DISPLAY QT_QPA_PLATFORM
timeout 240 "$@"
status=$?
exit "$status"
