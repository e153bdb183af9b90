#!/usr/bin/env bash
# Configures and builds one build tree. Usage: build.sh <build-dir> [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
jobs=$(nproc 2>/dev/null || echo 2)
# Rebuilds of the same sources (several build trees, sanitizer variants) reuse compiled objects.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root"
  # Every checkout shares the cache, debug builds too: their objects may then name the folder of
  # the build that compiled them first in their debug information, which nobody debugs from.
  export CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIVEXA_WERROR=ON "${launcher[@]}" "$@" > "$dir/configure.log" 2>&1 ||
  { cat "$dir/configure.log"; exit 1; }
# NIVEXA_BUILD_TARGETS=threads builds only the test programs of the suites labelled "threads"
# (each suite is named after its program).
# NIVEXA_BUILD_TARGETS=tool builds the library and the command-line tool alone; =fuzzers the
# libFuzzer programs alone.
if [ "${NIVEXA_BUILD_TARGETS:-}" = tool ]; then
  cmake --build "$dir" -j"$jobs" --target nivexa
elif [ "${NIVEXA_BUILD_TARGETS:-}" = fuzzers ]; then
  cmake --build "$dir" -j"$jobs" --target nivexa_fuzzers
elif [ "${NIVEXA_BUILD_TARGETS:-}" = threads ]; then
  mapfile -t targets < <(cd "$dir" && ctest -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p')
  cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
else
  cmake --build "$dir" -j"$jobs"
fi
