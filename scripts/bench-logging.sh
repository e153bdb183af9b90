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
      awk -v v=$variant -v r=$round '
        $1 ~ /^BM_EngineStreamsToConsumer/ && $3 == "ms" { printf "%s frame %s %s\n", v, r, $2; fflush() }
        $1 ~ /^BM_FpgaRegisterWrites/ && $5 == "us" { printf "%s register %s %s\n", v, r, $4; fflush() }' |
      tee -a "$out"
  done
done
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
# Per round the ratio log compiled in but off / log compiled out (the two ran back to back, so
# a change of machine load between rounds cancels out); the median of those ratios is the answer.
awk '{ t[$1, $2, $3] = $4; rounds[$3] = 1; kinds[$2] = 1 }
  END {
    for (k in kinds) {
      n = 0
      for (r in rounds) if ((("log", k, r) in t) && (("nolog", k, r) in t)) ratio[k, ++n] = t["log", k, r] / t["nolog", k, r]
      for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (ratio[k, j] < ratio[k, i]) { x = ratio[k, i]; ratio[k, i] = ratio[k, j]; ratio[k, j] = x }
      median = (n % 2) ? ratio[k, (n + 1) / 2] : (ratio[k, n / 2] + ratio[k, n / 2 + 1]) / 2
      printf "%-8s rounds %d, ratios %.3f .. %.3f, median ratio (compiled in, off / compiled out) %.4f\n", k, n, ratio[k, 1], ratio[k, n], median
    }
  }' "$out"
