#!/usr/bin/env bash
# Photographs nivexa-viewer on a virtual X server against a virtual camera: the live page
# (image, histogram, temperature plot, a rectangle dragged on the image) and the calibration page
# after a flat reference. The viewer is driven with xdotool as a user would (mouse, keyboard
# mnemonics) and ends itself with --measure, so it shuts down as it does for a user.
# Usage: viewer-screenshots.sh [build-dir] [output-dir]   (defaults: build/dev, docs/viewer)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
mkdir -p "${2:-$root/docs/viewer}"
out=$(cd "${2:-$root/docs/viewer}" && pwd)
viewer=$build/tools/viewer/nivexa-viewer
[ -x "$viewer" ] || { echo "no $viewer: build the target nivexa-viewer first" >&2; exit 1; }
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NIVEXA_SHM_PREFIX=nivexa-viewer-shots-$$-
export NIVEXA_REGISTRY_FILE=$work/registry.reg
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export LC_ALL=C.UTF-8

# The steps on the display: $1 seconds the viewer runs, $2 the steps (a shell snippet that sees
# $window, the viewer's window id).
on_display() {
  VIEWER=$viewer SECONDS_TO_RUN=$1 STEPS=$2 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    set -euo pipefail
    "$VIEWER" --measure "$SECONDS_TO_RUN" &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --name "^Nivexa Viewer$" | head -n1)
    xdotool windowmove --sync "$window" 0 0
    xdotool windowfocus --sync "$window"
    eval "$STEPS"
    wait "$pid"'
}

# The live page: a cooling camera (thermal time constants sped up) showing its test pattern; a
# rectangle dragged over the grey steps, the pointer left on the image.
NIVEXA_VIRTUAL_CAMERAS="serial=SHOT01,thermal=20" on_display 14 '
  sleep 10
  xdotool mousemove --window "$window" 470 400 mousedown 1
  xdotool mousemove --window "$window" 550 440 sleep 0.2 mousemove --window "$window" 650 480
  xdotool mouseup 1
  sleep 1
  import -window "$window" "'"$out"'/main.png"'

# The calibration page after a flat reference, on an evenly lit scene exposed to about half of
# full scale (the exposure typed into its field).
NIVEXA_VIRTUAL_CAMERAS="serial=SHOT02,scene=flat" on_display 16 '
  sleep 4
  xdotool mousemove --window "$window" 205 211 click --repeat 3 1
  xdotool type --delay 50 "0.0200"
  xdotool key Return
  sleep 1
  xdotool key --clearmodifiers alt+c
  sleep 1
  xdotool key --clearmodifiers alt+f
  sleep 8
  import -window "$window" "'"$out"'/calibrate.png"'
echo "written: $out/main.png $out/calibrate.png"
