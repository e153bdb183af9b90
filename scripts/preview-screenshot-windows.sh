#!/usr/bin/env bash
# Photographs the library's top-level preview window as Wine draws it on an X display: the
# Windows preview test holds its window, showing the virtual camera's last frame, while this
# script takes the screen and crops it to the window.
# Usage: preview-screenshot-windows.sh <windows-build-dir> <output.png>   (DISPLAY must be set)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$2
: "${DISPLAY:?an X server is needed (Xvfb)}"
prefix=${NIVEXA_WINE_PREFIX:-$build/wineprefix}
NIVEXA_PREVIEW_HOLD_MS=3000 NIVEXA_SHM_PREFIX="nivexa-preview-shot-$$-" \
  "$root/scripts/wine-run.sh" "$prefix" "$build/bin/camera_preview_window_tests.exe" \
  --gtest_filter='*TopLevelWindow*' |
  while read -r word left top width height; do
    [ "$word" = shown ] || continue
    sleep 1  # let Wine put the last drawing on the screen
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$out"
    echo "$out"
  done
