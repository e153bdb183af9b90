#!/usr/bin/env bash
# The main job: builds the SDK and the command-line tool, takes one snapshot from the camera (or
# from the built-in virtual camera when none is attached) and saves it as frame.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build/release
build/release/tools/nivexa/nivexa snapshot -o frame.png
echo "demo: $(pwd)/frame.png, $(stat -c %s frame.png) bytes"
