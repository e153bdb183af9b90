#!/usr/bin/env bash
# Cross-builds the Windows DLL, its import library and every test program with MinGW-w64.
# Usage: build-windows.sh [build-dir] [extra cmake arguments...]   (default build/windows)
# The image libraries the writers link are cross-built first into <build-dir>-deps (once), or
# into $NIVEXA_WINDOWS_DEPS when that is set.
# Release without debug information (smaller programs load faster under Wine, and nobody debugs
# them there), at -O2 like the Linux build: at -O3 this GCC reports false -Wrestrict overlaps
# in std::string code of the tests.
# The test programs run under Wine: ctest --test-dir <build-dir>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build/windows}
[ $# -gt 0 ] && shift
deps=${NIVEXA_WINDOWS_DEPS:-$dir-deps}
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
# Two builds sharing one folder of libraries build it once.
(
  flock 9
  "$root/scripts/build-mingw-deps.sh" "$deps"
) 9>"$deps.lock"
exec "$root/scripts/build.sh" "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DNIVEXA_MINGW_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DNIVEXA_BUILD_BENCH=OFF "$@"
