#!/usr/bin/env bash
# Whole-program and micro benchmarks, in Release:
#   bench/run.sh [RUNS]
# Generates the typical, model, messy and mixed files (20,000 blocks of 50
# rows each), a typical file of twice that length and one block of 200,000
# rows in the model shape; converts each RUNS times (default 5) and prints the
# median MB/s of input, ns per data row, instructions per data row counted by
# callgrind (on a tenth of the file: the figure that does not depend on the
# machine's load) and the largest peak resident size seen; then runs the
# microbenchmarks. bench/time_run.cpp times each run from fork to exit, so
# that no shell or timing program is counted. Everything runs on one core (LSF2ASCII_BENCH_CPU, default
# 0): the two cores of a shared machine need not be equally fast.
# LSF2ASCII_BENCH_BIN measures another build of the program on the same files.
# LSF2ASCII_BENCH_CALLGRIND=0 skips the instruction counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=${LSF2ASCII_BENCH_BUILD:-$root/build-bench}
cpu=${LSF2ASCII_BENCH_CPU:-0}
callgrind=${LSF2ASCII_BENCH_CALLGRIND:-1}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLSF2ASCII_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target lsf2ascii lsf_generate lsf_time_run lsf_bench >/dev/null
bin=${LSF2ASCII_BENCH_BIN:-$build/lsf2ascii}
command -v valgrind >/dev/null || callgrind=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gen="$build/bench/lsf_generate"
# name, shape, blocks, rows
files=(
  "typical typical 20000 50"
  "model model 20000 50"
  "messy messy 20000 50"
  "mixed mixed 20000 50"
  "typical2x typical 40000 50"
  "block200k model 1 200000"
)
for f in "${files[@]}"; do
  read -r name shape blocks rows <<<"$f"
  mkdir -p "$work/$name" "$work/$name-small"
  "$gen" "$shape" "$work/$name/lsf" "$blocks" "$rows"
  # The instruction count runs on a tenth of the file (all of a single block).
  if [ "$blocks" -ge 10 ]; then
    "$gen" "$shape" "$work/$name-small/lsf" $((blocks / 10)) "$rows"
  else
    cp "$work/$name/lsf" "$work/$name-small/lsf"
  fi
done

printf '%-10s %7s %8s %7s %7s %9s %10s\n' file MB rows 'MB/s' 'ns/row' 'instr/row' 'peak RSS'
for f in "${files[@]}"; do
  read -r name _ <<<"$f"
  dir="$work/$name"
  bytes=$(stat -c %s "$dir/lsf")
  times=()
  rss=0
  for _ in $(seq "$runs"); do
    rm -f "$dir/FORCINGS_ASCII_lsf"
    read -r ns kb < <(cd "$dir" && "$build/bench/lsf_time_run" "$cpu" "$bin" 2>/dev/null)
    times+=("$ns")
    [ "$kb" -gt "$rss" ] && rss=$kb
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
  rows=$(awk 'length($0) == 90' "$dir/FORCINGS_ASCII_lsf" | wc -l)
  instr=-
  if [ "$callgrind" = 1 ]; then
    small="$work/$name-small"
    # The program's own status is 2 at the end of its input.
    collected=$( (cd "$small" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin" 2>&1 || true) |
      sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
    small_rows=$(awk 'length($0) == 90' "$small/FORCINGS_ASCII_lsf" | wc -l)
    instr=$(awk -v c="$collected" -v r="$small_rows" 'BEGIN { printf "%.0f", c / r }')
  fi
  awk -v b="$bytes" -v ns="$median" -v rows="$rows" -v kb="$rss" -v n="$name" -v i="$instr" 'BEGIN {
    printf "%-10s %7.1f %8d %7.0f %7.0f %9s %6.2f MiB\n", n, b / 1e6, rows, (b / 1e6) / (ns / 1e9), ns / rows, i, kb / 1024 }'
done
echo "(rows: data rows converted; median of $runs runs; instructions per row from callgrind on a tenth of the file; peak RSS the largest seen)"
echo
taskset -c "$cpu" "$build/bench/lsf_bench" --benchmark_min_time=0.2
