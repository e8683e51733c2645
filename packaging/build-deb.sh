#!/usr/bin/env bash
# Builds Corvane's Debian package, corvane_<version>_<arch>.deb.
#
#   packaging/build-deb.sh [OUT_DIR]     (default: the build folder)
#
# Builds in a folder of its own, without tests and benchmarks, so the package
# holds a release build whatever the developer's own build folder holds.
# BUILD_DIR (default: build-deb), BUILD_TYPE (default: RelWithDebInfo; the
# package's binary is stripped) and JOBS (default: 2) may be set. PACKAGE_FROM
# names a build folder, configured and built already, to package instead.
# Needs cmake, g++, the Qt development packages and dpkg-dev (dpkg-shlibdeps).
# Prints the path of the package as its last line.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-deb}"
BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
JOBS="${JOBS:-2}"
OUT_DIR="${1:-$BUILD_DIR}"

for tool in cmake cpack dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "build-deb.sh: $tool not found (dpkg-shlibdeps comes with the package dpkg-dev)" >&2
        exit 1
    fi
done

if [[ -n ${PACKAGE_FROM:-} ]]; then
    BUILD_DIR=$PACKAGE_FROM # built already: package it as it is
else
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
        -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCHMARKS=OFF >&2
    cmake --build "$BUILD_DIR" -j "$JOBS" >&2
fi

mkdir -p "$OUT_DIR"
OUT_DIR="$(cd "$OUT_DIR" && pwd)"
# CPack leaves files of earlier runs beside the new one: name the one just made.
version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")"
arch="$(dpkg --print-architecture)"
package="$OUT_DIR/corvane_${version}_${arch}.deb"
rm -f "$package"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$OUT_DIR" >&2
if [[ ! -f "$package" ]]; then
    echo "build-deb.sh: cpack did not make $package" >&2
    exit 1
fi
printf '%s\n' "$package"
