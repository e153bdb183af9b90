#!/usr/bin/env bash
# What the log costs while it is off: the capture path (virtual camera -> transport -> capture
# thread -> consumer, engine_bench's BM_EngineStreamsToConsumer) and the register path under it
# (BM_FpgaRegisterWrites) built twice from the same sources, once with every log call site and once with them compiled out
# (NIVEXA_LOG_COMPILED_OUT), run in alternation so that both see the same machine load.
# Usage: bench-logging.sh [rounds]   (default 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-7}
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for variant in log nolog; do
  dir=build/bench-$variant
  compiled_out=OFF
  [ "$variant" = nolog ] && compiled_out=ON
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIVEXA_WERROR=ON \
    -DNIVEXA_BUILD_TESTS=OFF -DNIVEXA_BUILD_BENCH=ON -DNIVEXA_LOG_COMPILED_OUT=$compiled_out \
    "${launcher[@]}" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j"$jobs" --target engine_bench > /dev/null
done

unset NIVEXA_LOG NIVEXA_LOG_FILE
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for round in $(seq "$rounds"); do
  for variant in log nolog; do
    # Frames: real time per frame (ms; the capture thread does the work). Register writes: this
    # thread's CPU time per write (us).
    build/bench-$variant/bench/engine_bench \
      --benchmark_filter='BM_EngineStreamsToConsumer|BM_FpgaRegisterWrites' \
      --benchmark_color=false 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' |
      awk -v v=$variant '
        $1 ~ /^BM_EngineStreamsToConsumer/ && $3 == "ms" { printf "%s frame %s\n", v, $2; fflush() }
        $1 ~ /^BM_FpgaRegisterWrites/ && $5 == "us" { printf "%s register %s\n", v, $4; fflush() }' |
      tee -a "$out"
  done
done
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
# Medians over the rounds, and their ratio: log compiled in but off / log compiled out.
sort -k3 -g "$out" | awk '
  { k = $1 " " $2; t[k, ++n[k]] = $3 }
  END {
    for (k in n) { c = n[k]; m[k] = (c % 2) ? t[k, (c + 1) / 2] : (t[k, c / 2] + t[k, c / 2 + 1]) / 2 }
    printf "frame (ms, real):       compiled in, off %8.3f  compiled out %8.3f  ratio %.4f\n",
           m["log frame"], m["nolog frame"], m["log frame"] / m["nolog frame"]
    printf "register write (us, cpu): compiled in, off %8.3f  compiled out %8.3f  ratio %.4f\n",
           m["log register"], m["nolog register"], m["log register"] / m["nolog register"]
  }'
