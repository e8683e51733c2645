#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt, starts the
# installed program as an unprivileged user under a private X server, then
# purges the package and checks that nothing of it is left.
#
#   check-deb.sh SOURCE_DIR PACKAGE_BUILD_DIR
#
# It changes the machine it runs on, so it runs only where that harms nothing:
# as root on a throwaway machine that says so with CI=true (as CI services
# do). Anywhere else, and when corvane is installed already (an installation it
# did not make and must not remove), it exits 77 (skipped) and says why.
set -euo pipefail

SOURCE_DIR="${1:?usage: check-deb.sh SOURCE_DIR PACKAGE_BUILD_DIR}"
PACKAGE_BUILD_DIR="${2:?usage: check-deb.sh SOURCE_DIR PACKAGE_BUILD_DIR}"
APP_ID=org.example.Corvane
PROGRAM=/usr/bin/corvane
POSTINST=/var/lib/dpkg/info/corvane.postinst
CAP_NET_RAW_BIT=13

if [[ "${CI:-}" != true ]]; then
    echo "SKIPPED: installs and purges a package on this machine; runs only on a throwaway" \
        "machine marked with CI=true"
    exit 77
fi
if ((EUID != 0)); then
    echo "SKIPPED: installing a package needs root"
    exit 77
fi
if ! command -v dpkg >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "SKIP: not a Debian system"
    exit 77
fi
missing=()
for tool in getcap setcap Xvfb xdotool setpriv unshare desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]} > 0)); then
    echo "FAIL: missing ${missing[*]} (packages libcap2-bin, xvfb, xdotool, util-linux," \
        "desktop-file-utils, appstream)" >&2
    exit 1
fi

installed() { dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q 'ok installed'; }
if installed; then
    echo "SKIPPED: corvane is installed on this machine already; this test removes only" \
        "an installation of its own"
    exit 77
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work="$(mktemp -d)"
chmod 755 "$work" # apt reads the package as the user _apt
we_installed=0
xvfb_pid=""
program_pid=""
APT=(apt-get -y -q -o DPkg::Lock::Timeout=300)

cleanup() {
    [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    if ((we_installed)) && installed; then
        DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge corvane >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths="$1"
    shift
    for ((i = 0; i < tenths; ++i)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# --- build and install ---------------------------------------------------------
if ! package="$(BUILD_DIR="$PACKAGE_BUILD_DIR" "$SOURCE_DIR/packaging/build-deb.sh" "$work" \
    2>"$work/build.log" | tail -n 1)" || [[ ! -f "$package" ]]; then
    tail -n 40 "$work/build.log" >&2
    echo "FAIL: packaging/build-deb.sh did not make a package" >&2
    exit 1
fi
chmod 644 "$package"
echo "built $package"

fields="$(dpkg-deb --field "$package" Package Section Depends)"
grep -qx 'Package: corvane' <<<"$fields" || fail "package name: $fields"
grep -qx 'Section: net' <<<"$fields" || fail "section: $fields"
grep -q 'libcap2-bin' <<<"$fields" || fail "libcap2-bin is not a dependency: $fields"
grep -q 'libqt6widgets6' <<<"$fields" || fail "no library dependencies from shlibdeps: $fields"

we_installed=1
if ! DEBIAN_FRONTEND=noninteractive "${APT[@]}" install "$package" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: apt-get install of the package failed" >&2
    exit 1
fi
installed || fail "dpkg does not list corvane as installed"
grep -q 'corvane:' "$work/install.log" &&
    fail "the post-install step complained: $(grep 'corvane:' "$work/install.log")"

mapfile -t listed < <(dpkg -L corvane)
owned_files=()
for path in "${listed[@]}"; do
    [[ -d "$path" ]] || owned_files+=("$path")
done
for path in "$PROGRAM" "/usr/share/applications/$APP_ID.desktop" \
    "/usr/share/metainfo/$APP_ID.metainfo.xml" /usr/share/icons/hicolor/scalable/apps/corvane.svg \
    /usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/corvane.png; do
    [[ -f "$path" ]] || fail "$path is not installed"
    printf '%s\n' "${owned_files[@]}" | grep -qxF "$path" || fail "dpkg -L does not list $path"
done
desktop-file-validate "/usr/share/applications/$APP_ID.desktop" ||
    fail "desktop-file-validate rejects the installed desktop entry"
appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml" >/dev/null ||
    fail "appstreamcli rejects the installed metainfo"

has_cap_net_raw() { getcap "$PROGRAM" | grep -q 'cap_net_raw[=+]ep'; }
has_cap_net_raw || fail "$PROGRAM lacks cap_net_raw: '$(getcap "$PROGRAM")'"

# --- the post-install step where the capability cannot be given ------------------
setcap -r "$PROGRAM"
if ! PATH=/nonexistent /bin/sh "$POSTINST" configure 2>"$work/nosetcap.log"; then
    fail "the post-install step fails without setcap: $(cat "$work/nosetcap.log")"
fi
grep -q 'setcap was not found' "$work/nosetcap.log" ||
    fail "no message when setcap is missing: '$(cat "$work/nosetcap.log")'"
has_cap_net_raw && fail "a capability appeared without setcap"

# A read-only mount stands for a file system that cannot hold capabilities.
if ! unshare --mount --propagation private /bin/sh -c \
    "mount --bind '$PROGRAM' '$PROGRAM' && mount -o remount,bind,ro '$PROGRAM' &&
     /bin/sh '$POSTINST' configure" 2>"$work/readonly.log"; then
    fail "the post-install step fails when setcap fails: $(cat "$work/readonly.log")"
fi
grep -q 'setcap could not give' "$work/readonly.log" ||
    fail "no message when setcap fails: '$(cat "$work/readonly.log")'"
has_cap_net_raw && fail "a capability appeared on a read-only file"

/bin/sh "$POSTINST" configure 2>"$work/again.log" || fail "the post-install step fails when re-run"
has_cap_net_raw || fail "re-running the post-install step did not give cap_net_raw back"

# --- start it as a user who is not root ----------------------------------------
home="$work/home"
mkdir -p "$home"
chown nobody "$home"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for 100 test -s "$work/display" || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
display=":$(head -n 1 "$work/display")"

# CORVANE_CHECK_HOST: the start-up network check resolves a local name offline.
env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_RUNTIME_DIR="$home" DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
    CORVANE_CHECK_HOST=localhost \
    setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups "$PROGRAM" \
    >"$work/program.log" 2>&1 &
program_pid=$!

window=""
find_window() {
    window="$(DISPLAY="$display" xdotool search --onlyvisible --pid "$program_pid" \
        --name '^Corvane' 2>/dev/null | head -n 1)"
    [[ -n "$window" ]]
}
if wait_for 300 find_window; then
    echo "window $window: $(DISPLAY="$display" xdotool getwindowname "$window")"
    uid="$(awk '/^Uid:/ { print $2 }' "/proc/$program_pid/status")"
    [[ "$uid" == "$(id -u nobody)" ]] || fail "the program runs as uid $uid, not as nobody"
    effective="$(awk '/^CapEff:/ { print $2 }' "/proc/$program_pid/status")"
    (((16#$effective >> CAP_NET_RAW_BIT) & 1)) ||
        fail "the program runs without CAP_NET_RAW in effect (CapEff $effective)"

    # Esc closes the window, which ends the program.
    DISPLAY="$display" timeout 10 xdotool windowfocus --sync "$window" key Escape ||
        fail "could not press Esc in the window"
    if wait_for 150 bash -c "! kill -0 $program_pid 2>/dev/null"; then
        wait "$program_pid" && status=0 || status=$?
        ((status == 0)) || fail "the program exited with status $status"
        program_pid=""
    else
        fail "the program did not end when its window was closed"
    fi
else
    fail "the installed program showed no window named Corvane: $(cat "$work/program.log")"
fi
if [[ -n "$program_pid" ]]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
fi
kill "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""

# --- purge, and nothing is left ------------------------------------------------
if ! DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge corvane >"$work/purge.log" 2>&1; then
    cat "$work/purge.log" >&2
    fail "apt-get purge corvane failed"
fi
we_installed=0
installed && fail "dpkg still lists corvane as installed"
if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -qv 'not-installed'; then
    fail "dpkg keeps a record of corvane: $(dpkg-query -W -f='${Status}' corvane)"
fi
for path in "${owned_files[@]}"; do
    [[ -e "$path" ]] && fail "$path is left behind"
done
compgen -G '/var/lib/dpkg/info/corvane.*' >/dev/null &&
    fail "dpkg's files for corvane are left: $(echo /var/lib/dpkg/info/corvane.*)"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the package installs, gives the program cap_net_raw, starts and purges cleanly"
