#!/usr/bin/env bash
# Runs a libFuzzer target for a while on its seeds, as the tests of a fuzz
# build and the CI do:
#   fuzz/run.sh PROGRAM TARGET SECONDS WORKDIR
# The seeds (fuzz/corpus.sh) and the inputs libFuzzer finds go to WORKDIR;
# an input that fails is kept there as WORKDIR/crash-* and the tail of the
# log is printed.
set -euo pipefail
program=$1
target=$2
seconds=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/corpus.sh" "$target" "$work/corpus"
# A storage request beyond 256 MiB fails as on a small machine, so that huge
# row counts take the program's own allocation failure path instead of
# mapping gigabytes.
export ASAN_OPTIONS=${ASAN_OPTIONS:-max_allocation_size_mb=256}
log=$work/fuzz.log
if ! "$program" -max_len=4096 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$log" 2>&1; then
  grep -v 'WARNING: AddressSanitizer failed to allocate' "$log" | tail -n 60 >&2
  echo "fuzz_$target failed; the input is in $work/crash-* (or leak-*, timeout-*)" >&2
  exit 1
fi
grep -E '^Done|number_of_executed_units' "$log"
