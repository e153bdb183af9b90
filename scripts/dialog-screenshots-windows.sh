#!/usr/bin/env bash
# Photographs every page of the Windows settings dialogs, in English and Japanese, as Wine draws
# them on an X display: the Windows dialog test holds each page on the screen while this script
# takes the screen and crops it to the dialog.
# Usage: dialog-screenshots-windows.sh <windows-build-dir> <output-dir>   (DISPLAY must be set)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
: "${DISPLAY:?an X server is needed (Xvfb)}"
# The test prefix draws nothing (null graphics driver); this one draws on the X display.
prefix=$build/wineprefix-x11
if [ ! -f "$prefix/.nivexa-x11" ]; then
  "$root/scripts/wine-run.sh" "$prefix" "$build/bin/dialogs_windows_tests.exe" --gtest_list_tests >/dev/null
  WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  touch "$prefix/.nivexa-x11"
fi
for language in en ja; do
  locale=en_US.UTF-8
  [ "$language" = ja ] && locale=ja_JP.UTF-8
  LC_ALL=$locale NIVEXA_DIALOG_HOLD_MS=1500 NIVEXA_SHM_PREFIX="nivexa-shots-$$-" \
    NIVEXA_VIRTUAL_CAMERAS="serial=VC0001,pacing=fast,noise=off" \
    "$root/scripts/wine-run.sh" "$prefix" "$build/bin/dialogs_windows_tests.exe" \
    --gtest_filter='*EveryPage*' |
    while read -r word name page left top width height; do
      [ "$word" = shown ] || continue
      sleep 0.7  # let Wine finish drawing the page
      import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "$out/dialog-$name-$page-$language.png"
      echo "$out/dialog-$name-$page-$language.png"
    done
done
