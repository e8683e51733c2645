#!/usr/bin/env bash
# Corvane's one entry point for a Debian 12 machine.
#   scripts/dev.sh run [args]   install what is missing, build, start Corvane
#   scripts/dev.sh test         install what is missing, build, run every test
#   scripts/dev.sh deps         only install what is missing
#   scripts/dev.sh build        only configure and build
#   scripts/dev.sh package      build the Debian package (corvane_*.deb)
# BUILD_DIR (default: build) and BUILD_TYPE (default: RelWithDebInfo) may be set.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
JOBS="$(nproc 2>/dev/null || echo 2)"

# What building and running needs.
BUILD_PACKAGES=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-dejavu-core fonts-liberation2
)
# What the tests need besides: a display server and window manager, a tray host,
# clipboard and X tools, a print server, a DNS server, packet filter and
# namespaces for the network lab.
TEST_PACKAGES=(
    xvfb xauth x11-utils xdotool xclip openbox trayer
    cups cups-client poppler-utils
    dnsmasq-base nftables iproute2 libcap2-bin procps util-linux
    imagemagick xdg-utils desktop-file-utils appstream hicolor-icon-theme
    dpkg-dev librsvg2-bin fakeroot file
)

log() { printf '== %s\n' "$*" >&2; }

missing_packages() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$pkg"
        fi
    done
}

install_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    log "installing: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

configure_and_build() {
    log "configuring $BUILD_DIR ($BUILD_TYPE)"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "$@"
    log "building with $JOBS jobs"
    cmake --build "$BUILD_DIR" -j "$JOBS"
}

cmd="${1:-}"
shift || true
case "$cmd" in
deps)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    ;;
build)
    install_packages "${BUILD_PACKAGES[@]}"
    configure_and_build
    ;;
run)
    install_packages "${BUILD_PACKAGES[@]}"
    configure_and_build
    exec "$BUILD_DIR/src/app/corvane" "$@"
    ;;
package)
    install_packages "${BUILD_PACKAGES[@]}" dpkg-dev fakeroot file
    exec "$ROOT/packaging/build-deb.sh" "$@"
    ;;
test)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    configure_and_build
    log "running the tests"
    cd "$BUILD_DIR"
    exec ctest --output-on-failure -j "$JOBS" "$@"
    ;;
*)
    sed -n '2,8p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
