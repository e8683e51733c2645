#!/usr/bin/env bash
# Renders the hicolor PNGs of Corvane's icon from its two drawings and writes
# them beside this script, under hicolor/<size>x<size>/apps/corvane.png.
# The PNGs are committed, so building Corvane needs no SVG renderer; run this
# after changing corvane.svg or corvane-small.svg (needs rsvg-convert, from the
# Debian package librsvg2-bin).
#
#   data/icons/render-icons.sh [OUT_DIR]   (default: the folder of this script)
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
OUT="${1:-$HERE}"

# Below 32 pixels the detailed drawing turns to mush; the small one has fewer,
# heavier strokes.
SMALL_SIZES=(16 22 24)
LARGE_SIZES=(32 48 64 128 256)

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render-icons.sh: rsvg-convert not found (install the Debian package librsvg2-bin)" >&2
    exit 1
fi

render() {
    local source="$1" size="$2"
    local dir="$OUT/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    rsvg-convert --width="$size" --height="$size" --format=png \
        --output="$dir/corvane.png" "$HERE/$source"
}

for size in "${SMALL_SIZES[@]}"; do
    render corvane-small.svg "$size"
done
for size in "${LARGE_SIZES[@]}"; do
    render corvane.svg "$size"
done
