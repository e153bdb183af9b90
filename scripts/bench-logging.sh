#!/usr/bin/env bash
# What the log costs while it is off: the capture path (virtual camera -> transport -> capture
# thread -> consumer, engine_bench's BM_EngineStreamsToConsumer) built twice from the same
# sources, once with every log call site and once with them compiled out
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
    build/bench-$variant/bench/engine_bench --benchmark_filter=BM_EngineStreamsToConsumer \
      --benchmark_color=false 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' |
      awk -v v=$variant -v r=$round '$1 ~ /^BM_EngineStreamsToConsumer/ && $3 == "ms" {
        printf "%s %s %s\n", v, r, $2; fflush() }' | tee -a "$out"
  done
done
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
# Medians of the per-frame real times (ms), and their ratio: compiled in and off / compiled out.
sort -k3 -g "$out" | awk '
  { t[$1, ++n[$1]] = $3 }
  END {
    for (v in n) { c = n[v]; m[v] = (c % 2) ? t[v, (c + 1) / 2] : (t[v, c / 2] + t[v, c / 2 + 1]) / 2 }
    printf "median ms per frame: log compiled in, off %.3f; compiled out %.3f\n", m["log"], m["nolog"]
    printf "ratio (in / out): %.4f\n", m["log"] / m["nolog"]
  }'
