#!/usr/bin/env bash
# Runs a command with virtual cameras on an emulated USB bus in place of the machine's: libusb in
# the command finds them in sysfs and /dev/bus/usb and talks usbfs to them. Builds the emulator
# first when needed (in build/usb-emulator, or NIVEXA_USB_EMULATOR_BUILD).
# Usage: emulated-usb-camera.sh [--cameras N] [--virtual-options OPTIONS] [--wire-rate MB/S]
#                               -- COMMAND [ARGS...]
#   OPTIONS as in NIVEXA_VIRTUAL_CAMERAS: a count, or option lists separated by ';'
#   ("pacing=fast,serial=VC0009"); with --cameras, one option list serves every camera.
#   --wire-rate: the frame endpoint moves data at this rate, as a real link does (default: at once).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${NIVEXA_USB_EMULATOR_BUILD:-$root/build/usb-emulator}
emulator=$dir/tests/usb/nivexa-usb-emulator
if [ ! -f "$dir/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIVEXA_WERROR=ON \
    -DNIVEXA_BUILD_BENCH=OFF "${launcher[@]}" > "$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
fi
# The build log stays out of the command's output unless the build fails.
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target nivexa-usb-emulator \
  > "$dir/emulator-build.log" 2>&1 || { cat "$dir/emulator-build.log"; exit 1; }
exec "$emulator" "$@"
