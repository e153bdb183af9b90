#!/usr/bin/env bash
# Builds and runs every test: first a normal build, then the same suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the threaded suites under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"

jobs=$(nproc 2>/dev/null || echo 2)
run_ctest() {
  local dir=$1
  shift
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@")
}

echo "== normal build"
"$root/scripts/build.sh" build/release
run_ctest build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" build/asan -DNIVEXA_SANITIZE=address -DNIVEXA_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build/asan

echo "== registry file parser under libFuzzer (bounded)"
mkdir -p build/fuzz/corpus
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc -Itests tests/platform/RegistryFuzzMain.cpp tests/platform/RegistryFuzzTarget.cpp \
  src/platform/RegistryText.cpp -o build/fuzz/registry_text_fuzz
build/fuzz/registry_text_fuzz -max_total_time=20 -max_len=4096 -print_final_stats=0 \
  build/fuzz/corpus tests/platform/registry-seeds 2>&1 | tail -n 2

echo "== ThreadSanitizer (threaded suites)"
"$root/scripts/build.sh" build/tsan -DNIVEXA_SANITIZE=thread -DNIVEXA_BUILD_BENCH=OFF
# Some kernels randomise mappings more than this sanitizer's runtime can place itself around;
# setarch -R turns randomisation off for the test processes only.
norandom=""
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom="setarch $(uname -m) -R"
fi
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" $norandom \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L threads

echo "== all test runs passed"
