#!/usr/bin/env bash
# Builds and runs every test: first a normal build and the installed SDK used by two small
# programs, the Debian packages installed, used and purged, then the suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, bounded fuzz runs of the file readers and the exports, the
# threaded suites under ThreadSanitizer, the Windows DLL and every test program cross-built with
# MinGW-w64 and run under Wine, and last the library in the other build types and with Clang.
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

# One virtual X server for the suites labelled "display" (the preview window, the settings
# dialogs), in every stage;
# it replaces any DISPLAY of the caller, so no window opens on a desktop. -noreset: the server
# would otherwise reset whenever its last client leaves and drop the next connections meanwhile.
xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap stop_xvfb EXIT
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"
xdpyinfo >/dev/null || { echo "Xvfb did not start"; exit 1; }
echo "== Xvfb on $DISPLAY for the suites labelled display"

stage_start=$SECONDS
stage_done() {
  echo "== $1: $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

echo "== normal build"
"$root/scripts/build.sh" build/release
run_ctest build/release
stage_done "normal build and tests"

echo "== installed SDK"
# The normal build installed into a temporary prefix and used by two small programs.
"$root/scripts/check-install.sh" build/release
stage_done "installed SDK"

echo "== Debian packages"
# Built in a tree of their own with the normal build's flags, so the compiler cache serves them;
# lintian's errors fail the stage. Installed, used by the example, the tool, Python and
# GStreamer, and purged without a file left behind.
"$root/scripts/package.sh" build/package
lintian --fail-on error build/package/packages/*.deb
"$root/scripts/check-packages.sh" build/package/packages
stage_done "packages"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" build/asan -DNIVEXA_SANITIZE=address -DNIVEXA_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build/asan
stage_done "AddressSanitizer build and tests"

echo "== file loaders and exports under libFuzzer (bounded)"
# Built with Clang, the library instrumented too (cmake/Fuzzers.cmake); each runs for a bounded
# time from its seeds and what earlier runs on this machine found. A crash, a sanitizer report,
# a leak or an input that hangs stops the stage with the fuzzer's report; the input that did it
# is kept in build/fuzz/ (crash-*, leak-*, timeout-*).
"$root/scripts/build-fuzzers.sh" build/fuzz
run_fuzzer() {
  local name=$1 seconds=$2 max_len=$3
  shift 3
  mkdir -p "build/fuzz/corpus/$name" build/fuzz/logs
  echo "-- $name: ${seconds} s"
  if ! "build/fuzz/$name" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=0 \
    -timeout=20 -artifact_prefix=build/fuzz/ "build/fuzz/corpus/$name" "$@" \
    >"build/fuzz/logs/$name.log" 2>&1; then
    tail -n 80 "build/fuzz/logs/$name.log"
    return 1
  fi
  tail -n 2 "build/fuzz/logs/$name.log"
}
# An input of the exports takes about half a second (opening a camera alone takes hundreds of
# milliseconds), and libFuzzer replays its whole corpus before it looks at the clock: the corpus
# of earlier runs would soon take longer than the run itself. Each run starts from the seeds.
rm -rf build/fuzz/corpus/api_calls_fuzz
run_fuzzer api_calls_fuzz 120 512 tests/api/api-seeds -len_control=0
run_fuzzer registry_text_fuzz 20 4096 tests/platform/registry-seeds
run_fuzzer registry_file_fuzz 15 4096 tests/platform/registry-seeds
run_fuzzer mask_header_fuzz 10 64 tests/imaging/mask/mask-seeds
run_fuzzer mask_file_fuzz 15 2048 tests/imaging/mask/mask-file-seeds
run_fuzzer config_file_fuzz 10 256 tests/camera/config-seeds
stage_done "fuzz runs"

echo "== ThreadSanitizer (threaded suites)"
# Only the programs of the threaded suites are built: the others would never run here.
NIVEXA_BUILD_TARGETS=threads "$root/scripts/build.sh" build/tsan -DNIVEXA_SANITIZE=thread \
  -DNIVEXA_BUILD_BENCH=OFF
# Some kernels randomise mappings more than this sanitizer's runtime can place itself around;
# setarch -R turns randomisation off for the test processes only.
norandom=""
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom="setarch $(uname -m) -R"
fi
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" $norandom \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L threads
stage_done "ThreadSanitizer build and tests"

echo "== Windows DLL under Wine"
# The image libraries cross-built from Debian's sources and the Wine prefix take minutes to make
# and depend on nothing in the checkout but the scripts that make them: each machine keeps one of
# each, as it keeps one compiler cache. The stage runs on every run, cached or not.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/nivexa
deps_key=$(cat scripts/build-mingw-deps.sh cmake/mingw-w64-x86_64.cmake | sha256sum | cut -c1-12)
wine_prefix=${NIVEXA_WINE_PREFIX:-$cache/wineprefix}
windows_deps=${NIVEXA_WINDOWS_DEPS:-$cache/windows-deps-$deps_key}
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || ! command -v wine >/dev/null 2>&1; then
  echo "MinGW-w64 (g++-mingw-w64-x86-64-posix) or Wine (wine, wine64) is missing:"
  echo "scripts/install-deps.sh could not install them; the Windows DLL cannot be tested"
  exit 1
fi
NIVEXA_WINDOWS_DEPS=$windows_deps \
  "$root/scripts/build-windows.sh" build/windows -DNIVEXA_WINE_PREFIX="$wine_prefix"
# Wine's background processes, started by the first program of a run, hold that program's
# output open until they end, and ctest waits for them: minutes on a busy machine. They are
# started here once, detached, with a server that stays up until the tests are done.
"$root/scripts/wine-run.sh" "$wine_prefix" cmd /c exit >/dev/null 2>&1 </dev/null || true
WINEPREFIX="$wine_prefix" wineserver -w 2>/dev/null || true
WINEPREFIX="$wine_prefix" wineserver -p 2>/dev/null || true
"$root/scripts/wine-run.sh" "$wine_prefix" cmd /c exit >/dev/null 2>&1 </dev/null || true
windows_tests=0
run_ctest build/windows || windows_tests=$?
WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
[ "$windows_tests" -eq 0 ] || exit "$windows_tests"
# The zip users get, from the tree just tested.
NIVEXA_WINDOWS_DEPS=$windows_deps "$root/scripts/package.sh" --windows build/windows
stage_done "Windows cross build and tests under Wine"

echo "== build types and Clang"
# The library and the tool in every other build type and once with Clang, warnings as errors
# (tests and benchmarks are built once, above).
for type in Debug Release MinSizeRel; do
  "$root/scripts/build.sh" "build/gcc-${type,,}" \
    -DCMAKE_BUILD_TYPE=$type -DNIVEXA_BUILD_TESTS=OFF -DNIVEXA_BUILD_BENCH=OFF
done
"$root/scripts/build.sh" build/clang-release -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNIVEXA_BUILD_TESTS=OFF \
  -DNIVEXA_BUILD_BENCH=OFF
stage_done "build types and Clang"

echo "== the whole run: $SECONDS s"
echo "== all test runs passed"
