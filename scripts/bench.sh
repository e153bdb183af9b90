#!/usr/bin/env bash
# Builds and runs the benchmarks. OpenCV is installed here, and only here: the pipeline benchmark
# measures each step next to its OpenCV equivalent, and nothing else in the tree uses it.
# Usage: bench.sh [build-dir] [extra benchmark arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"

if ! dpkg-query -W -f='${Status}' libopencv-dev 2>/dev/null | grep -q 'install ok installed'; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  echo "bench: installing libopencv-dev"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends libopencv-dev
fi

dir=${1:-build/bench}
shift || true
"$root/scripts/build.sh" "$dir" -DNIVEXA_BUILD_BENCH=ON -DNIVEXA_BUILD_TESTS=OFF

# The machine may be shared: repetitions and their medians, with the load at the start.
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
for bench in "$dir"/bench/*_bench; do
  case "$(basename "$bench")" in pipeline_bench | soak_bench) continue ;; esac
  echo "== $(basename "$bench")"
  if [ "$(basename "$bench")" = usb_bench ]; then
    # One camera on the emulated bus, nothing else, its frame endpoint at a SuperSpeed link's
    # practical bulk rate: libusb in the benchmark finds only it.
    NIVEXA_USB_EMULATOR_BUILD="$dir/usb-emulator" "$root/scripts/emulated-usb-camera.sh" \
      --cameras 1 --virtual-options pacing=fast,noise=off --wire-rate 400 -- "$bench" "$@"
    continue
  fi
  "$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
done

echo "== pipeline_bench"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$dir/bench/pipeline_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@" |
  tee "$out"
# Ours divided by the OpenCV peer, by the medians' CPU time.
echo "== ratios (ours / opencv, median CPU time)"
awk '$1 ~ /_median$/ {
       name = $1; sub(/_median$/, "", name); split(name, part, "/")
       t = $4; unit = $5; if (unit == "us") t /= 1000; if (unit == "ns") t /= 1e6
       time[part[1], part[2]] = t; steps[part[1]] = 1
     }
     END {
       for (s in steps) if ((s, "ours") in time && (s, "opencv") in time)
         printf "%-16s %8.3f ms / %8.3f ms = %.2f\n", s, time[s, "ours"], time[s, "opencv"],
                time[s, "ours"] / time[s, "opencv"]
     }' "$out" | sort
