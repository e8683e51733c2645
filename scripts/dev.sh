#!/usr/bin/env bash
# Corvane's one entry point for a Debian 12 machine.
#   scripts/dev.sh run [args]   install what is missing, build, start Corvane
#   scripts/dev.sh test         install what is missing, build, run every test: the
#                               fuzzers briefly, the suite under AddressSanitizer and
#                               UBSan, then the suite in the normal build
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
    dnsmasq-base nftables iproute2 fping libcap2-bin procps util-linux
    imagemagick xdg-utils desktop-file-utils appstream hicolor-icon-theme
    dpkg-dev librsvg2-bin fakeroot file
    clang libclang-rt-14-dev
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
    local sudo=()
    if ((EUID != 0)); then
        if ! command -v sudo >/dev/null 2>&1; then
            log "missing Debian packages, and no sudo to install them; as root, run:"
            printf '    apt-get install -y %s\n' "${missing[*]}" >&2
            log "then run this command again"
            exit 1
        fi
        sudo=(sudo)
    fi
    log "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# configure_and_build <dir> <build type> [cmake options...]
configure_and_build() {
    local dir=$1 type=$2
    shift 2
    log "configuring $dir ($type)"
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@"
    log "building $dir with $JOBS jobs"
    cmake --build "$dir" -j "$JOBS"
}

# Runs one test pass; remembers a failure instead of stopping, so every pass runs,
# and what passed and what was skipped, for the closing note.
failed_passes=()
pass_notes=()
test_pass() {
    local name=$1 dir=$2
    shift 2
    log "running the tests: $name"
    local output="$dir/Testing/dev-test-output.txt"
    mkdir -p "$dir/Testing"
    if ! (cd "$dir" && ctest --output-on-failure -j "$JOBS" "$@") 2>&1 | tee "$output"; then
        failed_passes+=("$name")
    fi
    local passed skipped failed
    passed=$(grep -cE 'Test +#[0-9]+: .* Passed +[0-9.]+ sec' "$output" || true)
    skipped=$(grep -cE 'Test +#[0-9]+: .*\*\*\*Skipped' "$output" || true)
    failed=$(grep -cE 'Test +#[0-9]+: .*(\*\*\*|Not Run|Exception)' "$output" || true)
    failed=$((failed - skipped))
    pass_notes+=("$name: $passed passed, $skipped skipped, $failed failed")
}

# The jobs of the users the tests run as (this user; as root also nobody) that
# the machine's print server knows, completed ones too, one "queue-id (user)" a
# line; "none" when no print server answers. Tests print only to servers of
# their own, so a run must add nothing here.
print_jobs() {
    command -v lpstat >/dev/null 2>&1 || { echo none; return; }
    local jobs users
    jobs=$(lpstat -W all -o 2>/dev/null) || { echo none; return; }
    users=" $(id -un) "
    ((EUID == 0)) && users+="nobody "
    awk -v users="$users" 'NF && index(users, " " $2 " ") { print $1 " (" $2 ")" }' <<<"$jobs" |
        sort
}

# The closing note: the counts of each pass, and whether any job reached the
# machine's printers while the tests ran.
closing_note() {
    local before=$1 after new
    after=$(print_jobs)
    log "summary"
    printf '   %s\n' "${pass_notes[@]}" >&2
    if [[ "$before" == none && "$after" == none ]]; then
        log "no print server answers on this machine: no test could print on it"
        return
    fi
    new=$(comm -13 <(printf '%s\n' "$before") <(printf '%s\n' "$after") | grep -vx none || true)
    if [[ -n "$new" ]]; then
        log "print jobs reached this machine's printers while the tests ran:"
        sed 's/^/   /' <<<"$new" >&2
        failed_passes+=("no test may print on this machine's printers")
    else
        log "the print queues of this machine stayed empty: no job of the tests reached them"
    fi
}

cmd="${1:-}"
shift || true
case "$cmd" in
deps)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    ;;
build)
    install_packages "${BUILD_PACKAGES[@]}"
    configure_and_build "$BUILD_DIR" "$BUILD_TYPE"
    ;;
run)
    install_packages "${BUILD_PACKAGES[@]}"
    configure_and_build "$BUILD_DIR" "$BUILD_TYPE"
    exec "$BUILD_DIR/src/app/corvane" "$@"
    ;;
package)
    install_packages "${BUILD_PACKAGES[@]}" dpkg-dev fakeroot file
    exec "$ROOT/packaging/build-deb.sh" "$@"
    ;;
test)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    jobs_before=$(print_jobs)
    # 1. Every reader of outside text under libFuzzer, a few seconds each (clang).
    CC=clang CXX=clang++ configure_and_build "$ROOT/build-fuzz" Debug -DCORVANE_FUZZ=ON \
        -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCHMARKS=OFF
    test_pass "fuzzers" "$ROOT/build-fuzz" -L fuzz
    # 2. The whole suite under AddressSanitizer, its leak checker and UBSan. The
    #    package test builds and installs a release package of its own: once is enough.
    configure_and_build "$ROOT/build-asan" Asan -DCORVANE_BUILD_BENCHMARKS=OFF
    test_pass "AddressSanitizer and UBSan" "$ROOT/build-asan" -E '^tst_install_deb$'
    # 3. The whole suite in the normal build.
    configure_and_build "$BUILD_DIR" "$BUILD_TYPE"
    test_pass "normal build" "$BUILD_DIR" "$@"
    closing_note "$jobs_before"
    if ((${#failed_passes[@]} > 0)); then
        log "failed: ${failed_passes[*]}"
        exit 1
    fi
    ;;
*)
    sed -n '2,8p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
