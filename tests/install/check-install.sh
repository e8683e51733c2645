#!/usr/bin/env bash
# check-install.sh BUILD_DIR: installs the tree into a staging prefix and checks every installed file
# (exactly the expected ones, modes, contents; the desktop entry and metainfo through their validators).
set -euo pipefail
id=org.example.Corvane failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in desktop-file-validate appstreamcli od; do command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }; done
stage=$(mktemp -d) && p=$stage/usr; trap 'rm -rf "$stage"' EXIT
cmake --install "${1:?usage: check-install.sh BUILD_DIR}" --prefix "$p" >"$stage/log" 2>&1 || { cat "$stage/log"; echo "FAIL: cmake --install"; exit 1; }
expected=(bin/corvane "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" share/icons/hicolor/scalable/apps/corvane.svg)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x$size/apps/corvane.png")
    png=$p/${expected[-1]} # a PNG of the size its folder names
    [[ $(od -An -tx1 -N 8 "$png" | tr -d ' ') == 89504e470d0a1a0a && $(od -An -tu4 --endian=big -j 16 -N 8 "$png" | xargs) == "$size $size" ]] ||
        fail "${expected[-1]} is not a ${size}x$size PNG"
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$p" && find . ! -type d | sed 's|^\./||' | sort) >&2 || fail "the installed files differ (- missing, + unexpected)"
[[ $(stat -c %a "$p/bin/corvane") == 755 && $(od -An -tx1 -N 4 "$p/bin/corvane" | tr -d ' ') == 7f454c46 ]] || fail "bin/corvane is not an ELF program of mode 755"
for f in "${expected[@]:1}"; do [[ $(stat -c %a "$p/$f") == 644 ]] || fail "$f has mode $(stat -c %a "$p/$f"), not 644"; done
grep -q '<svg[^>]*viewBox="0 0 256 256"' "$p/${expected[3]}" || fail "corvane.svg has no square view box"
desktop=$p/${expected[1]} meta=$p/${expected[2]}
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
key() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(key Name) == Corvane && $(key Type) == Application && $(key Terminal) == false && $(key Exec) == corvane && $(key Icon) == corvane &&
    -n $(key GenericName) && -n $(key Comment) && -n $(key Keywords) && ";$(key Categories)" == *";Network;"* ]] || fail "desktop entry: $(<"$desktop")"
appstreamcli validate --no-net "$meta" || fail "appstreamcli rejects the metainfo"
for want in "<id>$id</id>" '<component type="desktop-application">' "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
    '<binary>corvane</binary>' '<content_rating type="oars-1.1"' '<release version="2.0"'; do grep -qF "$want" "$meta" || fail "metainfo lacks $want"; done
appstreamcli validate-tree --no-net "$stage" >"$stage/log" 2>&1 || { cat "$stage/log"; fail "appstreamcli validate-tree rejects the tree"; }
((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all installed files check out"
