#!/usr/bin/env bash
# Whole-program and micro benchmarks, in Release:
#   bench/run.sh [RUNS]
# Generates the typical and messy files (about 81 MB each), a file of twice
# the typical length and one block of 200,000 rows, converts each RUNS times
# (default 5) and prints the best MB/s of input, ns per row and the peak
# resident size; then runs the microbenchmarks. Everything runs on one core
# (LSF2ASCII_BENCH_CPU, default 0): the two cores of a shared machine need
# not be equally fast.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=${LSF2ASCII_BENCH_BUILD:-$root/build-bench}
cpu=${LSF2ASCII_BENCH_CPU:-0}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLSF2ASCII_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target lsf2ascii lsf_generate lsf_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gen="$build/bench/lsf_generate"
mkdir -p "$work"/{typical,messy,typical2x,block200k}
"$gen" typical "$work/typical/lsf"
"$gen" messy "$work/messy/lsf"
"$gen" typical "$work/typical2x/lsf" 40000
"$gen" typical "$work/block200k/lsf" 1 200000

printf '%-10s %9s %9s %9s %9s %12s\n' file MB rows 'MB/s' 'ns/row' 'peak RSS'
for name in typical messy typical2x block200k; do
  dir="$work/$name"
  bytes=$(stat -c %s "$dir/lsf")
  best=""
  rss=0
  for _ in $(seq "$runs"); do
    rm -f "$dir/FORCINGS_ASCII_lsf"
    start=$(date +%s%N)
    (cd "$dir" && taskset -c "$cpu" /usr/bin/time -f '%M' -o "$work/time.txt" "$build/lsf2ascii" 2>/dev/null) || true
    end=$(date +%s%N)
    ns=$((end - start))
    kb=$(tail -n 1 "$work/time.txt")
    [ -z "$best" ] || [ "$ns" -lt "$best" ] && best=$ns
    [ "$kb" -gt "$rss" ] && rss=$kb
  done
  rows=$(awk 'length($0) == 90' "$dir/FORCINGS_ASCII_lsf" | wc -l)
  awk -v b="$bytes" -v ns="$best" -v rows="$rows" -v kb="$rss" -v n="$name" 'BEGIN {
    printf "%-10s %9.1f %9d %9.0f %9.0f %9.2f MiB\n", n, b / 1e6, rows, (b / 1e6) / (ns / 1e9), ns / rows, kb / 1024 }'
done
echo "(rows: data rows converted; best of $runs runs; peak RSS the largest seen)"
echo
taskset -c "$cpu" "$build/bench/lsf_bench" --benchmark_min_time=0.2
