#!/usr/bin/env bash
# Configures a Clang build tree for the libFuzzer programs and builds them (nothing else).
# Usage: build-fuzzers.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
NIVEXA_BUILD_TARGETS=fuzzers "$root/scripts/build.sh" "$dir" -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNIVEXA_BUILD_TESTS=OFF -DNIVEXA_BUILD_BENCH=OFF \
  -DNIVEXA_BUILD_FUZZERS=ON
