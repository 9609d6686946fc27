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
# that no shell or timing program is counted. Everything runs on one core
# (LSF2ASCII_BENCH_CPU, default 0): the two cores of a shared machine need not
# be equally fast.
# LSF2ASCII_BENCH_BIN measures another build of the program on the same files.
# LSF2ASCII_BENCH_BEFORE=<program> measures an earlier build beside it: the
# two take turns on each file, so that a change in the machine's load falls
# on both, and the table shows both.
# LSF2ASCII_BENCH_CALLGRIND=0 skips the instruction counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=${LSF2ASCII_BENCH_BUILD:-$root/build-bench}
cpu=${LSF2ASCII_BENCH_CPU:-0}
callgrind=${LSF2ASCII_BENCH_CALLGRIND:-1}
before=${LSF2ASCII_BENCH_BEFORE:-}

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

# median ns of a list of times
median() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
# instructions per data row of a program on the tenth of a file, or -
instructions() {
  local program=$1 small=$2 collected small_rows
  [ "$callgrind" = 1 ] || { echo -; return; }
  rm -f "$small/FORCINGS_ASCII_lsf"
  # The program's own status is 2 at the end of its input.
  collected=$( (cd "$small" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program" 2>&1 || true) |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
  small_rows=$(awk 'length($0) == 90' "$small/FORCINGS_ASCII_lsf" | wc -l)
  awk -v c="$collected" -v r="$small_rows" 'BEGIN { printf "%.0f", c / r }'
}
# MB/s, ns/row and instructions per row, from bytes, rows, ns and instructions
figures() {
  awk -v b="$1" -v rows="$2" -v ns="$3" -v i="$4" 'BEGIN { printf "%7.0f %7.0f %9s", (b / 1e6) / (ns / 1e9), ns / rows, i }'
}

if [ -n "$before" ]; then
  printf '%-28s | %-25s | %-25s\n' '' before after
  printf '%-10s %7s %8s | %7s %7s %9s | %7s %7s %9s %10s\n' file MB rows 'MB/s' 'ns/row' 'instr/row' 'MB/s' 'ns/row' \
    'instr/row' 'peak RSS'
else
  printf '%-10s %7s %8s %7s %7s %9s %10s\n' file MB rows 'MB/s' 'ns/row' 'instr/row' 'peak RSS'
fi
for f in "${files[@]}"; do
  read -r name _ <<<"$f"
  dir="$work/$name"
  bytes=$(stat -c %s "$dir/lsf")
  times=()
  earlier=()
  rss=0
  # One run untimed first, so that every timed one finds the file in the page cache.
  rm -f "$dir/FORCINGS_ASCII_lsf"
  (cd "$dir" && "$bin" >/dev/null 2>&1) || true
  for _ in $(seq "$runs"); do
    if [ -n "$before" ]; then
      rm -f "$dir/FORCINGS_ASCII_lsf"
      read -r ns _ < <(cd "$dir" && "$build/bench/lsf_time_run" "$cpu" "$before" 2>/dev/null)
      earlier+=("$ns")
    fi
    rm -f "$dir/FORCINGS_ASCII_lsf"
    read -r ns kb < <(cd "$dir" && "$build/bench/lsf_time_run" "$cpu" "$bin" 2>/dev/null)
    times+=("$ns")
    [ "$kb" -gt "$rss" ] && rss=$kb
  done
  rows=$(awk 'length($0) == 90' "$dir/FORCINGS_ASCII_lsf" | wc -l)
  after=$(figures "$bytes" "$rows" "$(median "${times[@]}")" "$(instructions "$bin" "$work/$name-small")")
  if [ -n "$before" ]; then
    was=$(figures "$bytes" "$rows" "$(median "${earlier[@]}")" "$(instructions "$before" "$work/$name-small")")
    printf '%-10s %7.1f %8d | %s | %s %6.2f MiB\n' "$name" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$rows" \
      "$was" "$after" "$(awk -v kb="$rss" 'BEGIN { print kb / 1024 }')"
  else
    printf '%-10s %7.1f %8d %s %6.2f MiB\n' "$name" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$rows" \
      "$after" "$(awk -v kb="$rss" 'BEGIN { print kb / 1024 }')"
  fi
done
echo "(rows: data rows converted; median of $runs runs${before:+, taking turns with the earlier build}; instructions per row from callgrind on a tenth of the file; peak RSS the largest seen, of the build measured)"
echo
taskset -c "$cpu" "$build/bench/lsf_bench" --benchmark_min_time=0.2
