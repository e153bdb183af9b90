#!/usr/bin/env bash
# Cross-builds the Windows DLL, its import library and every test program with MinGW-w64.
# Usage: build-windows.sh [build-dir] [extra cmake arguments...]   (default build/windows)
# The test programs run under Wine: ctest --test-dir <build-dir>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build/windows}
[ $# -gt 0 ] && shift
exec "$root/scripts/build.sh" "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DNIVEXA_BUILD_BENCH=OFF "$@"
