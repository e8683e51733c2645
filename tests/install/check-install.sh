#!/usr/bin/env bash
# Installs a built tree into a staging prefix and checks every installed file:
# exactly the expected files, with sound modes and contents, and the desktop
# entry and AppStream metainfo accepted by their validators.
#
#   check-install.sh BUILD_DIR
#
# Needs desktop-file-validate (desktop-file-utils) and appstreamcli (appstream).
set -euo pipefail

BUILD_DIR="${1:?usage: check-install.sh BUILD_DIR}"
APP_ID=org.example.Corvane
ICON_SIZES=(16 22 24 32 48 64 128 256)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for tool in cmake desktop-file-validate appstreamcli od; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool not found (desktop-file-validate: package desktop-file-utils;" \
            "appstreamcli: package appstream)" >&2
        exit 1
    fi
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
prefix="$stage/usr"

if ! cmake --install "$BUILD_DIR" --prefix "$prefix" >"$stage/install.log" 2>&1; then
    cat "$stage/install.log" >&2
    echo "FAIL: cmake --install failed (is the corvane target built?)" >&2
    exit 1
fi

# Exactly these files, nothing missing and nothing else.
expected=(
    bin/corvane
    share/applications/$APP_ID.desktop
    share/metainfo/$APP_ID.metainfo.xml
    share/icons/hicolor/scalable/apps/corvane.svg
)
for size in "${ICON_SIZES[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/corvane.png")
done
if ! diff -u <(printf '%s\n' "${expected[@]}" | sort) \
    <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) >"$stage/files.diff"; then
    cat "$stage/files.diff" >&2
    fail "the installed files differ from the expected list (- missing, + unexpected)"
fi

mode_of() { stat -c %a "$1"; }

# The program.
binary="$prefix/bin/corvane"
if [[ -f "$binary" ]]; then
    [[ "$(mode_of "$binary")" == 755 ]] || fail "bin/corvane has mode $(mode_of "$binary"), not 755"
    [[ "$(head -c 4 "$binary" | od -An -tx1 | tr -d ' ')" == 7f454c46 ]] ||
        fail "bin/corvane is not an ELF program"
fi

# Data files: readable by all, writable by nobody but the owner.
for file in "${expected[@]:1}"; do
    [[ -f "$prefix/$file" ]] || continue
    [[ "$(mode_of "$prefix/$file")" == 644 ]] ||
        fail "$file has mode $(mode_of "$prefix/$file"), not 644"
done

# Each PNG is a PNG of the size its folder names: the theme serves it for that size.
be32() { od -An -tu4 --endian=big -j "$2" -N 4 "$1" | tr -d ' '; }
for size in "${ICON_SIZES[@]}"; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/corvane.png"
    [[ -f "$png" ]] || continue
    [[ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" == 89504e470d0a1a0a ]] ||
        { fail "${size}x${size}/apps/corvane.png is not a PNG"; continue; }
    width="$(be32 "$png" 16)"
    height="$(be32 "$png" 20)"
    [[ "$width" == "$size" && "$height" == "$size" ]] ||
        fail "${size}x${size}/apps/corvane.png is ${width}x${height}"
done
svg="$prefix/share/icons/hicolor/scalable/apps/corvane.svg"
if [[ -f "$svg" ]]; then
    grep -q '<svg[^>]*viewBox="0 0 256 256"' "$svg" || fail "corvane.svg has no square view box"
fi

# The desktop entry: valid, and pointing at what was installed.
desktop="$prefix/share/applications/$APP_ID.desktop"
if [[ -f "$desktop" ]]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $APP_ID.desktop"
    key() { sed -n "s/^$1=//p" "$desktop"; }
    [[ "$(key Name)" == Corvane ]] || fail "desktop entry: Name is '$(key Name)'"
    [[ "$(key Type)" == Application ]] || fail "desktop entry: Type is '$(key Type)'"
    [[ "$(key Terminal)" == false ]] || fail "desktop entry: Terminal is '$(key Terminal)'"
    [[ -n "$(key GenericName)" && -n "$(key Comment)" && -n "$(key Keywords)" ]] ||
        fail "desktop entry: GenericName, Comment or Keywords missing"
    [[ ";$(key Categories)" == *";Network;"* ]] ||
        fail "desktop entry: Categories '$(key Categories)' lack Network"
    exec_name="$(key Exec)"
    [[ "$exec_name" == corvane && -x "$prefix/bin/$exec_name" ]] ||
        fail "desktop entry: Exec '$exec_name' is not the installed program"
    icon_name="$(key Icon)"
    [[ "$icon_name" == corvane && -f "$prefix/share/icons/hicolor/48x48/apps/$icon_name.png" ]] ||
        fail "desktop entry: Icon '$icon_name' is not in the installed hicolor theme"
fi

# The AppStream metainfo: valid, and naming the installed desktop entry and program.
metainfo="$prefix/share/metainfo/$APP_ID.metainfo.xml"
if [[ -f "$metainfo" ]]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
    grep -q "<id>$APP_ID</id>" "$metainfo" || fail "metainfo: id is not $APP_ID"
    grep -q '<component type="desktop-application">' "$metainfo" ||
        fail "metainfo: not a desktop-application component"
    launchable="$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")"
    [[ -n "$launchable" && -f "$prefix/share/applications/$launchable" ]] ||
        fail "metainfo: launchable '$launchable' is not an installed desktop entry"
    binary_name="$(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo")"
    [[ -n "$binary_name" && -x "$prefix/bin/$binary_name" ]] ||
        fail "metainfo: binary '$binary_name' is not installed"
    grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "metainfo: no content rating"
    grep -q '<release version="2.0"' "$metainfo" || fail "metainfo: no release 2.0"
fi

# The installed tree as a whole, as software centres read it.
appstreamcli validate-tree --no-net "$prefix/.." >"$stage/tree.log" 2>&1 ||
    { cat "$stage/tree.log" >&2; fail "appstreamcli validate-tree rejects the installed tree"; }

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all installed files check out"
