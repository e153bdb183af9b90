#!/usr/bin/env bash
# The main job: builds the SDK and the command-line tool, takes one snapshot from the camera (or
# from the built-in virtual camera when none is attached) and saves it as frame.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Only the library and the tool: the tests, the benchmarks and their packages are the test
# command's (scripts/test.sh), in a build tree of their own.
"$root/scripts/install-deps.sh" --library
NIVEXA_BUILD_TARGETS=tool "$root/scripts/build.sh" build/demo -DNIVEXA_BUILD_TESTS=OFF \
  -DNIVEXA_BUILD_BENCH=OFF
build/demo/tools/nivexa/nivexa snapshot -o frame.png
echo "demo: $(pwd)/frame.png, $(stat -c %s frame.png) bytes"
