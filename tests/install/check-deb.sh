#!/usr/bin/env bash
# check-deb.sh SOURCE_DIR BUILD_DIR: packages the build (built already), installs it with apt, starts
# it as nobody on a private X server, purges it and checks that nothing of it is left. It changes the
# machine: only as root with CI=true, never over an installed corvane; else exit 77.
# shellcheck disable=SC1091,SC2015,SC2034,SC2154
set -euo pipefail
skip() { echo "SKIPPED: $*"; exit 77; }
[[ ${CI:-} == true ]] || skip "installs and purges a package on this machine; runs only on a throwaway machine marked with CI=true"
((EUID == 0)) && command -v apt-get >/dev/null || skip "installing a package needs root and apt-get"
installed() { dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q 'ok installed'; }
! installed || skip "corvane is installed on this machine already"
program=/usr/bin/corvane postinst=/var/lib/dpkg/info/corvane.postinst id=org.example.Corvane failures=0 ours=0 xvfb_options=-ac
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300)
# shellcheck source=../e2e/desktop.sh
source "$(dirname "$(readlink -f "$0")")/../e2e/desktop.sh"
need getcap setcap setpriv unshare
trap 'cleanup; ((ours == 0)) || ! installed || "${apt[@]}" purge corvane >/dev/null 2>&1' EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
chmod 755 "$work" # apt reads the package as _apt
package=$(PACKAGE_FROM=$2 "$1/packaging/build-deb.sh" "$work" 2>"$work/build.log" | tail -n 1) && [[ -f $package ]] ||
    { tail -n 40 "$work/build.log"; echo "FAIL: no package built"; exit 1; }
chmod 644 "$package"; fields=$(dpkg-deb --field "$package" Package Section Depends)
for want in 'Package: corvane' 'Section: net' libcap2-bin libqt6widgets6; do grep -q "$want" <<<"$fields" || fail "the package's fields lack $want"; done
ours=1; "${apt[@]}" install "$package" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "FAIL: apt-get install"; exit 1; }
! grep 'corvane:' "$work/install.log" || fail "the post-install step complained"
mapfile -t owned < <(dpkg -L corvane | while read -r f; do [[ -d $f ]] || echo "$f"; done)
for f in "$program" "/usr/share/applications/$id.desktop" "/usr/share/metainfo/$id.metainfo.xml" /usr/share/icons/hicolor/scalable/apps/corvane.svg \
    /usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/corvane.png; do
    [[ -f $f ]] && printf '%s\n' "${owned[@]}" | grep -qxF "$f" || fail "$f is not installed or not listed by dpkg -L"
done
cap() { getcap "$program" | grep -q 'cap_net_raw[=+]ep'; }
cap || fail "$program lacks cap_net_raw"
setcap -r "$program" # the post-install step where the capability cannot be given: no setcap, a read-only file
PATH=/nonexistent /bin/sh "$postinst" configure 2>"$work/err" && grep -q 'setcap was not found' "$work/err" && ! cap || fail "without setcap: $(<"$work/err")"
unshare --mount --propagation private /bin/sh -c "mount --bind $program $program && mount -o remount,bind,ro $program && /bin/sh $postinst configure" \
    2>"$work/err" && grep -q 'setcap could not give' "$work/err" && ! cap || fail "on a read-only file: $(<"$work/err")"
/bin/sh "$postinst" configure && cap || fail "re-running the post-install step gave no cap_net_raw"
desktop_start
mkdir "$work/home" && chown nobody "$work/home" # the program as nobody, with the file's capability
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/home" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 CORVANE_CHECK_HOST=localhost \
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$program" >"$work/corvane.log" 2>&1 &
app_pid=$!
if window=$(wait_for 30 main_window); then
    [[ $(awk '/^Uid:/ { print $2 }' "/proc/$app_pid/status") == "$(id -u nobody)" ]] || fail "the program does not run as nobody"
    (($(awk '/^CapEff:/ { print "0x" $2 }' "/proc/$app_pid/status") >> 13 & 1)) || fail "the program runs without CAP_NET_RAW in effect"
    xdotool windowfocus --sync "$window" key Escape
    wait_for 15 exited "$app_pid" && wait "$app_pid" && app_pid="" || fail "Esc did not end the program with status 0"
else fail "the installed program showed no window: $(<"$work/corvane.log")"; fi
"${apt[@]}" purge corvane >"$work/purge.log" 2>&1 && ours=0 || fail "apt-get purge: $(<"$work/purge.log")"
! dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -qv not-installed || fail "dpkg keeps a record of corvane"
for f in "${owned[@]}" /var/lib/dpkg/info/corvane.*; do [[ ! -e $f ]] || fail "$f is left behind"; done
((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "the package installs, gives the program cap_net_raw, starts and purges cleanly"
