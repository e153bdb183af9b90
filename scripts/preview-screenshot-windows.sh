#!/usr/bin/env bash
# Photographs `nivexa view` of the Windows build against a virtual camera as Wine draws it on an
# X display: the tool runs on a Wine desktop of its own drawn by Wine's X11 driver (the test
# prefix draws nothing), and this script takes the screen and crops it to the tool's window.
# Usage: preview-screenshot-windows.sh <windows-build-dir> <output.png>   (DISPLAY must be set)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$2
: "${DISPLAY:?an X server is needed (Xvfb)}"
prefix=${NIVEXA_WINE_PREFIX:-$build/wineprefix}
desktop="nivexa-view-$$"
NIVEXA_VIRTUAL_CAMERAS="serial=VC0001" NIVEXA_SHM_PREFIX="nivexa-view-shot-$$-" \
  "$root/scripts/wine-run.sh" "$prefix" explorer "/desktop=$desktop,1280x1024,x11" \
  "$build/bin/nivexa.exe" view --seconds 8 >/dev/null 2>&1 &
viewer=$!
geometry=""
for _ in $(seq 1 60); do
  sleep 0.5
  # The tool's window, once the frame rate is in its title: "<w>x<h>+<x>+<y>".
  geometry=$(xwininfo -root -tree 2>/dev/null |
    sed -n 's/.*"nivexa view - [0-9.]* fps".* \([0-9]*x[0-9]*+-\{0,1\}[0-9]*+-\{0,1\}[0-9]*\)  .*/\1/p' |
    head -n1)
  [ -n "$geometry" ] && break
done
[ -n "$geometry" ] || { echo "no nivexa view window appeared" >&2; wait "$viewer" || true; exit 1; }
sleep 1
import -window root -crop "$geometry" +repage "$out"
wait "$viewer" || true
echo "$out"
