#!/usr/bin/env bash
# Builds and runs every test: first a normal build and the installed SDK used by two small
# programs, then the suite under AddressSanitizer and UndefinedBehaviorSanitizer, bounded fuzz runs
# of the file readers, the threaded suites under ThreadSanitizer, the Windows DLL and every test
# program cross-built with MinGW-w64 and run under Wine, and last the library in the other build
# types and with Clang.
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

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" build/asan -DNIVEXA_SANITIZE=address -DNIVEXA_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build/asan
stage_done "AddressSanitizer build and tests"

echo "== registry file parser under libFuzzer (bounded)"
mkdir -p build/fuzz/corpus
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc -Itests tests/platform/RegistryFuzzMain.cpp tests/platform/RegistryFuzzTarget.cpp \
  src/platform/RegistryText.cpp -o build/fuzz/registry_text_fuzz
build/fuzz/registry_text_fuzz -max_total_time=20 -max_len=4096 -print_final_stats=0 \
  build/fuzz/corpus tests/platform/registry-seeds 2>&1 | tail -n 2

echo "== mask file header under libFuzzer (bounded)"
mkdir -p build/fuzz/mask-corpus
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc tests/imaging/mask/MaskHeaderFuzzMain.cpp src/imaging/mask/MaskFile.cpp \
  -o build/fuzz/mask_header_fuzz
build/fuzz/mask_header_fuzz -max_total_time=10 -max_len=64 -print_final_stats=0 \
  build/fuzz/mask-corpus tests/imaging/mask/mask-seeds 2>&1 | tail -n 2

echo "== configuration file reader under libFuzzer (bounded)"
mkdir -p build/fuzz/config-corpus
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc tests/camera/ConfigFileFuzzMain.cpp src/camera/ConfigFile.cpp -o build/fuzz/config_file_fuzz
build/fuzz/config_file_fuzz -max_total_time=10 -max_len=256 -print_final_stats=0 \
  build/fuzz/config-corpus 2>&1 | tail -n 2

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
# The whole run is kept under 45 minutes. With a warm compiler cache the Linux stages take
# about 22 minutes and this stage about 8; on a cold machine the Linux stages alone can take
# far longer, and this stage then gives way, and says so, rather than overrun.
# What this machine has not cached yet costs more: about 7 minutes for the image libraries and 4
# for the Wine prefix, so the stage must start that much earlier to end in time.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/nivexa
deps_key=$(cat scripts/build-mingw-deps.sh cmake/mingw-w64-x86_64.cmake | sha256sum | cut -c1-12)
wine_prefix=${NIVEXA_WINE_PREFIX:-$cache/wineprefix}
windows_deps=${NIVEXA_WINDOWS_DEPS:-$cache/windows-deps-$deps_key}
windows_budget_s=2100
[ -d "$windows_deps" ] || windows_budget_s=$((windows_budget_s - 420))
[ -f "$wine_prefix/.nivexa-ready" ] || windows_budget_s=$((windows_budget_s - 240))
windows_budget_s=${NIVEXA_WINDOWS_STAGE_LATEST_START_S:-$windows_budget_s}
if [ "$SECONDS" -gt "$windows_budget_s" ]; then
  echo "== SKIPPED: the Windows build and its tests under Wine: the run has taken $SECONDS s,"
  echo "   past the $windows_budget_s s after which the stage would not end in time"
elif command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && command -v wine >/dev/null 2>&1; then
  # The image libraries cross-built from Debian's sources and the Wine prefix take minutes to
  # make and depend on nothing in the checkout but the scripts that make them: each machine
  # keeps one of each, as it keeps one compiler cache.
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
  stage_done "Windows cross build and tests under Wine"
else
  echo "== SKIPPED: the Windows build and its tests under Wine: MinGW-w64 (g++-mingw-w64-x86-64-posix)"
  echo "   or Wine (wine, wine64) could not be installed; see scripts/install-deps.sh"
fi

echo "== build types and Clang"
# The library and the tool in every other build type and once with Clang, warnings as errors
# (tests and benchmarks are built once, above). Last, and like the Windows stage it gives way
# when the run has no time left for it (a few minutes warm, about 15 cold).
# With a cold compiler cache the four builds take about 8 minutes.
build_types_budget_s=${NIVEXA_BUILD_TYPES_LATEST_START_S:-2100}
if [ "$SECONDS" -gt "$build_types_budget_s" ]; then
  echo "== SKIPPED: the Debug, Release, MinSizeRel and Clang builds: the run has taken $SECONDS s,"
  echo "   past the $build_types_budget_s s after which the stage would not end in time"
else
  for type in Debug Release MinSizeRel; do
    "$root/scripts/build.sh" "build/gcc-${type,,}" -DCMAKE_BUILD_TYPE=$type \
      -DNIVEXA_BUILD_TESTS=OFF -DNIVEXA_BUILD_BENCH=OFF
  done
  "$root/scripts/build.sh" build/clang-release -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNIVEXA_BUILD_TESTS=OFF \
    -DNIVEXA_BUILD_BENCH=OFF
  stage_done "build types and Clang"
fi

echo "== all test runs passed"
